#include "kvl/params/param_item.h"

#include <gtest/gtest.h>

#include <string>

#include "kvl/collections/tree_iterator.h"
#include "kvl/frame/catalogue.h"
#include "kvl/frame/kvl_types.h"
#include "kvl/runtime/test_support.h"
#include "kvl/runtime/variant_convert.h"

namespace kvl {
namespace {

// A root as a ParamString makes it: SmartQuotes, two apostrophes.
Ref<ParamItem> Root(const std::string& command = {}) {
  Ref<ParamItem> root = NewParamItem(true, "''", false);
  root->SetParamType(ST_List);
  root->SetRoot(true);
  root->SetValueRef(MakeRef<CVParamItem>());
  root->SetKeyword(command);
  return root;
}

Ref<ParamItem> AddTyped(ParamItem& parent, const std::string& keyword,
                        Variant value, int16_t type) {
  Ref<ParamItem> item = parent.Add(keyword, std::move(value));
  item->SetParamType(type);
  return item;
}

TEST(ParamItemTest, ClientItemIsNotAListUntilMadeOne) {
  Ref<ParamItem> item = MakeRef<ParamItem>();
  EXPECT_EQ(item->Add("k", Variant(1)), nullptr);
  EXPECT_EQ(item->AddList("l"), nullptr);
  EXPECT_EQ(item->FirstItem(), nullptr);
  EXPECT_EQ(item->ParamTypeString(), "V");
  item->SetParamType(ST_List);
  EXPECT_EQ(item->Add("k", Variant(1)), nullptr);  // no container yet
  item->SetValueRef(MakeRef<CVParamItem>());
  Ref<ParamItem> child = item->Add("", Variant("a b"));
  ASSERT_NE(child, nullptr);
  EXPECT_EQ(child->ParamType(), ST_None);
  Ref<ParamItem> list = item->AddList();
  EXPECT_EQ(list->ParamTypeString(), "L");
  EXPECT_EQ(list->Keyword(), "");
  EXPECT_EQ(item->DumpItem(), "");
}

TEST(ParamItemTest, KeywordSearchModes) {
  // «A=1 L=[A=2] A=3» without a command, plus a list named A.
  Ref<ParamItem> root = Root();
  AddTyped(*root, "A", Variant(int16_t{1}), ST_I2);
  Ref<ParamItem> l = root->AddList("L");
  AddTyped(*l, "A", Variant(int16_t{2}), ST_I2);
  AddTyped(*root, "a", Variant(int16_t{3}), ST_I2);
  Ref<ParamItem> list_a = root->AddList("A");
  AddTyped(*list_a, "A", Variant(int16_t{4}), ST_I2);

  for (int16_t n = 1; n <= 3; ++n)
    EXPECT_EQ(root->ItemByIndex("a", n)->Value(), Variant(n));
  EXPECT_EQ(root->ItemByIndex("A", 4), list_a);  // counted, not searched
  EXPECT_EQ(root->ItemByIndex("A", 5), nullptr);
  EXPECT_EQ(root->ItemByIndex("a", 0), nullptr);
  EXPECT_EQ(root->TopItemByIndex("a", 2)->Value(), Variant(int16_t{3}));
  EXPECT_EQ(root->TopItemByIndex("a", 3), list_a);
  EXPECT_EQ(root->ValueByIndex("L").AsObject(), l->Value().AsObject());
  EXPECT_TRUE(root->ValueByIndex("missing").is_nothing());
  root->SetKeyword("a");  // the root itself matches first
  EXPECT_EQ(root->ItemByIndex("A"), root);
}

TEST(ParamItemTest, CursorAndTreeIterator) {
  Ref<ParamItem> root = Root("Cmd");
  AddTyped(*root, "x", Variant("1"), ST_Ascii);
  AddTyped(*root, "y", Variant("2"), ST_Ascii);
  EXPECT_EQ(root->CurrentItem()->Keyword(), "x");  // cursor 0 becomes 1
  EXPECT_EQ(root->NextItem()->Keyword(), "y");
  EXPECT_EQ(root->NextItem(), nullptr);  // the spare slot
  EXPECT_EQ(root->NextItem(), nullptr);  // beyond the slots
  EXPECT_EQ(root->Item(0), nullptr);
  EXPECT_EQ(root->Item(2)->Keyword(), "y");
  EXPECT_EQ(root->FirstItem()->Keyword(), "x");
  EXPECT_EQ(root->Item(32767), nullptr);
  EXPECT_EQ(RaisedNumber([&] { root->NextItem(); }), kErrOverflow);

  ITreeIterator* it = root->As<ITreeIterator>();
  ASSERT_NE(it, nullptr);
  std::string seen;
  for (Ref<Object> c = it->FirstItem(); c; c = it->NextItem())
    seen += static_cast<ParamItem*>(c.get())->Keyword();
  EXPECT_EQ(seen, "xy");
  Ref<Object> view = root->QueryInterface("ITreeIterator");
  ASSERT_NE(view, nullptr);
  Variant first = CallByName(*view, "FirstItem", CallKind::kGet);
  EXPECT_EQ(static_cast<ParamItem*>(first.AsObject())->Keyword(), "x");
}

TEST(ParamItemTest, SettingsQuoteCharsAndRemoveElement) {
  Ref<ParamItem> root = Root();
  root->SetQuoteChars("'");
  root->SetQuoteChars("<<>");
  EXPECT_EQ(root->QuoteChars(), "''");
  root->SetQuoteChars("<>");
  EXPECT_EQ(root->QuoteChars(), "<>");
  Ref<ParamItem> child = AddTyped(*root, "K", Variant("v"), ST_Ascii);
  EXPECT_EQ(child->QuoteChars(), "<>");  // settings copied on creation
  AddTyped(*root, "K", Variant("w"), ST_I2);

  Ref<ParamItem> probe = MakeRef<ParamItem>();
  probe->SetKeyword("k");
  probe->SetParamType(ST_I2);
  EXPECT_TRUE(root->RemoveElement(probe));
  EXPECT_FALSE(root->RemoveElement(probe));
  EXPECT_EQ(root->FirstItem(), child);
  EXPECT_FALSE(child->RemoveElement(probe));
  EXPECT_EQ(RaisedNumber([&] { root->RemoveElement(nullptr); }),
            kErrObjectNotSet);
}

TEST(ParamItemTest, ShowTypesReachesListsAndArrays) {
  Ref<ParamItem> root = Root("Ev");
  Ref<ParamItem> l = root->AddList("L");
  Ref<ParamItem> deep = AddTyped(*l, "N", Variant(int16_t{5}), ST_I2);
  Ref<ParamItem> in_array = Root();
  in_array->SetRoot(false);
  Variant array = Variant::MakeArray(VarType::kVariant, 0, 1);
  array.Array().At(0) = Variant(in_array);
  AddTyped(*root, "A", array, 0);
  root->SetShowTypes(true);
  EXPECT_TRUE(deep->ShowTypes());
  EXPECT_TRUE(in_array->ShowTypes());
  EXPECT_EQ(root->ToString(l), "L/L=[N/I2=5]");
}

TEST(ParamItemTest, NeedsQuoting) {
  for (const char* text :
       {"", "a b", "x-y", "12x", "9", "a=b", "a,b", "a/b", "(x)", "a:b", "a]b[",
        "~", "{", "<", "caf\xC3", "\x80", "a\xED\xA0\x80"})
    EXPECT_TRUE(NeedsQuoting(text)) << text;
  for (const char* text :
       {"abc", "'a b'", "'", "a.b", "a_b", "a\\b", "a?", "a]", "it's", "say\"",
        "a\tb", "caf\xC3\xA9", "\xF0\x9F\x98\x80"})
    EXPECT_FALSE(NeedsQuoting(text)) << text;
}

struct WriteCase {
  const char* keyword;
  Variant value;
  int16_t type;
  const char* smart;  // SmartQuotes true
  const char* plain;  // SmartQuotes false
};

TEST(ParamItemTest, ValuesAreWrittenByType) {
  const WriteCase cases[] = {
      {"K", Variant("V1"), ST_Ascii, "K=V1", "K='V1'"},
      {"K", Variant("a b"), ST_Ascii, "K='a b'", "K='a b'"},
      {"K", Variant(""), ST_String, "K=''", "K=''"},
      {"K", Variant("12x"), ST_Ascii, "K='12x'", "K='12x'"},
      {"K", Variant("a b"), ST_None, "K=a b", "K=a b"},
      {"K", Variant(int32_t{5}), ST_I4, "K=5", "K=5"},
      {"K", Variant(2.5), ST_F8, "K=2.5", "K=2.5"},
      {"K", Variant(true), ST_BOOLEAN, "K=True", "K=True"},
      {"K", Variant(), ST_None, "K=!!EMPTY!!", "K=!!EMPTY!!"},
      {"", Variant(int16_t{7}), ST_I2, "7", "7"},
  };
  for (const WriteCase& c : cases) {
    SCOPED_TRACE(c.smart);
    Ref<ParamItem> root = Root();
    Ref<ParamItem> item = AddTyped(*root, c.keyword, c.value, c.type);
    EXPECT_EQ(root->ToString(item), c.smart);
    root->SetSmartQuotes(false);
    EXPECT_EQ(root->ToString(item), c.plain);
  }
}

TEST(ParamItemTest, OneLineAndReaderForms) {
  Ref<ParamItem> root = Root("Foo/To/Whatever");
  AddTyped(*root, "K1", Variant("V1"), ST_Ascii);
  AddTyped(*root, "N", Variant(int32_t{5}), ST_I4);
  EXPECT_EQ(root->ToString(), "Foo/To/Whatever K1=V1 N=5");
  EXPECT_EQ(root->ToString(nullptr, true),
            "Foo/To/Whatever  _\r\n   K1=V1  _\r\n   N=5");
  root->SetShowTypes(true);
  EXPECT_EQ(root->ToString(), "Foo/To/Whatever K1/A[2]=V1 N/I4=5");
  root->SetShowTypes(false);

  Ref<ParamItem> l = root->AddList("L");
  AddTyped(*l, "", Variant(int16_t{1}), ST_I2);
  AddTyped(*l, "", Variant(int16_t{2}), ST_I2);
  EXPECT_EQ(root->ToString(l), "L=[1, 2]");
  EXPECT_EQ(root->ToString(l, true, 1), "   L=[ _\r\n      1,  _\r\n      2]");
  EXPECT_EQ(RaisedNumber([&] { root->ToString(l, true, -1); }),
            kErrInvalidArgument);

  Ref<ParamItem> no_command = Root();
  AddTyped(*no_command, "K", Variant(int16_t{1}), ST_I2);
  EXPECT_EQ(no_command->ToString(), " K=1");
  // A list type over a value that is no container keeps its value.
  Ref<ParamItem> odd = AddTyped(*no_command, "X", Variant(int16_t{9}), ST_List);
  EXPECT_EQ(no_command->ToString(odd), "X=9");
}

TEST(ParamItemTest, LateBoundMembers) {
  Ref<Object> item = CreateObject("KVLCommon.ParamItem");
  CallByName(*item, "ParamType", CallKind::kLet, int16_t{1});
  CallByName(*item, "Value", CallKind::kSet, Variant(MakeRef<CVParamItem>()));
  Variant child = CallByName(*item, "Add", CallKind::kMethod, "K", "v v");
  ASSERT_TRUE(child.is_object());
  CallByName(*child.AsObject(), "ParamType", CallKind::kLet, int16_t{2});
  CallByName(*item, "QuoteChars", CallKind::kLet, "''");
  CallByName(*item, "SmartQuotes", CallKind::kLet, true);
  EXPECT_EQ(ToText(CallByName(*item, "ToString", CallKind::kMethod)),
            "[K='v v']");
  EXPECT_EQ(ToText(CallByName(*item, "ValueByIndex", CallKind::kMethod, "k")),
            "v v");
  EXPECT_EQ(ToText(CallByName(*item, "ParamTypeString", CallKind::kGet)), "L");
  EXPECT_TRUE(CallByName(*item, "AddList", CallKind::kMethod).is_object());
}

}  // namespace
}  // namespace kvl
