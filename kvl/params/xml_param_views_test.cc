#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kvl/frame/testing/catalogue_expectations.h"
#include "kvl/params/param_string.h"
#include "kvl/params/xml_param_item.h"
#include "kvl/params/xml_param_string.h"
#include "kvl/runtime/test_support.h"
#include "kvl/runtime/variant_convert.h"
#include "kvl/runtime/weak_ref.h"

namespace kvl {
namespace {

class XmlViewsTest : public ::testing::Test {
 protected:
  // A view of the root element of `text`.
  Ref<XMLParamString> View(std::string_view text) {
    EXPECT_TRUE(doc->LoadText(text)) << doc->LastError();
    return NewXMLParamString(doc->FirstChild());
  }

  // The keywords handed out by FirstItem / NextItem until the end.
  template <class V>
  static std::vector<std::string> Walk(V& view) {
    std::vector<std::string> names;
    for (auto c = view.FirstItem(); c; c = view.NextItem()) {
      names.push_back(c->Keyword());
    }
    return names;
  }

  Ref<XmlDocument> doc = MakeRef<XmlDocument>();
};

using Names = std::vector<std::string>;

TEST_F(XmlViewsTest, ChildrenAreAttributesThenChildNodes) {
  auto ps = View("<Axis name=\"X\" speed=\"5\"><Limit/>text</Axis>");
  EXPECT_EQ(ps->Command(), "Axis");
  EXPECT_EQ(Walk(*ps), (Names{"name", "speed", "Limit", "#text"}));
  EXPECT_EQ(ps->IterationState(), K_END_ITERATION);
  // After the end, nothing until FirstItem starts over.
  EXPECT_FALSE(ps->NextItem());
  EXPECT_FALSE(ps->NextItem());
  EXPECT_EQ(ps->FirstItem()->Keyword(), "name");
  EXPECT_EQ(ps->IterationState(), K_ATTR_ITERATE);

  EXPECT_EQ(ps->Item(3)->Keyword(), "Limit");
  EXPECT_FALSE(ps->Item(5));
  EXPECT_FALSE(ps->Item(0));
  EXPECT_EQ(ps->CurrentItem()->Keyword(), "name");  // Item does not move

  Ref<XMLParamItem> speed = ps->Item(2);
  EXPECT_EQ(ToText(speed->Value()), "5");
  EXPECT_EQ(speed->ParamTypeString(), "A");
  EXPECT_EQ(speed->ParamType(), 2);
  EXPECT_TRUE(ps->Item(3)->Value().is_null());
  EXPECT_EQ(ToText(ps->Item(4)->Value()), "text");

  // Views of one node walk independently; a node without children ends at
  // once.
  Ref<XMLParamItem> item = ps->AsParamItem();
  EXPECT_EQ(Walk(*item), (Names{"name", "speed", "Limit", "#text"}));
  EXPECT_EQ(ps->NextItem()->Keyword(), "speed");
  EXPECT_EQ(Walk(*ps->Item(3)), Names{});
  EXPECT_EQ(Walk(*View("<only/>")), Names{});
  EXPECT_EQ(Walk(*View("<a><b/><c/></a>")), (Names{"b", "c"}));
}

TEST_F(XmlViewsTest, SearchesByNameIgnoringCase) {
  auto ps =
      View("<Axis id='1' ID='2'><Limit id='3'><Deep/></Limit><limit/></Axis>");
  Ref<XMLParamItem> axis = ps->AsParamItem();
  EXPECT_EQ(axis->ItemByIndex("axis")->ToString(), ps->ToString());
  EXPECT_EQ(axis->ItemByIndex("AXIS", 5)->Keyword(), "Axis");
  EXPECT_EQ(ToText(axis->ItemByIndex("id")->Value()), "1");
  EXPECT_EQ(ToText(axis->ItemByIndex("id", 2)->Value()), "2");
  // The count carries into each child's subtree.
  EXPECT_EQ(ToText(axis->ItemByIndex("id", 3)->Value()), "3");
  EXPECT_EQ(ps->ItemByIndex("deep")->Keyword(), "Deep");
  EXPECT_FALSE(axis->ItemByIndex("none"));

  EXPECT_EQ(axis->TopItemByIndex("limit")->ToString(),
            "<Limit id=\"3\"><Deep/></Limit>");
  EXPECT_EQ(axis->TopItemByIndex("limit", 2)->ToString(), "<limit/>");
  EXPECT_FALSE(axis->TopItemByIndex("limit", 3));
  EXPECT_FALSE(axis->TopItemByIndex("deep"));
}

// A walk hands a child object out again once nobody else holds it; these
// check that nothing of the former child shows through.
TEST_F(XmlViewsTest, ChildObjectsHandedOutAgainLookNew) {
  LiveObjectCheck leaks;
  {
    auto ps = View("<Axis a='1' b='2' c='3'><Limit lo='0'/>t</Axis>");
    // Children still held are distinct objects.
    Ref<XMLParamItem> a = ps->FirstItem();
    Ref<XMLParamItem> b = ps->NextItem();
    Ref<XMLParamItem> c = ps->NextItem();
    EXPECT_NE(a.get(), b.get());
    EXPECT_NE(b.get(), c.get());
    EXPECT_NE(a.get(), c.get());
    EXPECT_EQ(a->Keyword(), "a");
    EXPECT_EQ(b->Keyword(), "b");

    // A child dropped with its fields and walk changed comes back as new.
    Ref<XMLParamItem> limit = ps->Item(4);
    limit->SetTag("t");
    limit->SetParamType(7);
    limit->SetRoot(true);
    limit->FirstItem();
    Object* dropped = limit.get();
    limit = nullptr;
    a = b = c = nullptr;
    Ref<XMLParamItem> again = ps->Item(4);
    Ref<XMLParamItem> other = ps->Item(4);
    ASSERT_TRUE(again.get() == dropped || other.get() == dropped);
    for (const Ref<XMLParamItem>& v : {again, other}) {
      EXPECT_EQ(v->Tag(), "");
      EXPECT_EQ(v->ParamType(), 2);
      EXPECT_FALSE(v->Root());
      EXPECT_EQ(v->IterationState(), K_NO_ITERATION);
      EXPECT_EQ(Walk(*v), Names{"lo"});
    }

    // A child someone refers to weakly is never another node's view.
    Ref<XMLParamItem> watched = ps->Item(1);
    WeakRef<XMLParamItem> weak(watched);
    watched = nullptr;
    again = other = nullptr;
    for (int i = 0; i < 4; ++i) EXPECT_EQ(ps->Item(2)->Keyword(), "b");
    if (Ref<XMLParamItem> seen = weak.Lock()) {
      EXPECT_EQ(seen->Keyword(), "a");
    }

    // AsParamItem follows the same rule.
    Ref<XMLParamItem> item = ps->AsParamItem();
    Ref<XMLParamItem> item2 = ps->AsParamItem();
    EXPECT_NE(item.get(), item2.get());
    EXPECT_EQ(Walk(*item), (Names{"a", "b", "c", "Limit", "#text"}));
  }
  EXPECT_EQ(leaks.Delta(), 0);
}

// Long walks hand each kept child out many times; a child still held when
// its parent goes is the holder's alone and lives on.
TEST_F(XmlViewsTest, HeldChildrenOutliveTheirParent) {
  LiveObjectCheck leaks;
  {
    std::string text = "<a";
    Names expected;
    for (int i = 0; i < 40; ++i) {
      text += " k" + std::to_string(i) + "='" + std::to_string(i) + "'";
      expected.push_back("k" + std::to_string(i));
    }
    text += "/>";
    Ref<XMLParamItem> held;
    {
      auto ps = View(text);
      EXPECT_EQ(Walk(*ps), expected);
      EXPECT_EQ(Walk(*ps), expected);
      held = ps->Item(7);
      EXPECT_EQ(Walk(*ps), expected);
    }
    EXPECT_EQ(held->RefCount(), 1);
    EXPECT_EQ(held->Keyword(), "k6");
    EXPECT_EQ(ToText(held->Value()), "6");
  }
  EXPECT_EQ(leaks.Delta(), 0);
}

TEST_F(XmlViewsTest, DeepDocumentsAreSearchedWithoutRecursion) {
  std::string text;
  for (int i = 0; i < 100000; ++i) text += "<n>";
  text += "<leaf/>";
  for (int i = 0; i < 100000; ++i) text += "</n>";
  auto ps = View(text);
  ASSERT_TRUE(ps);
  EXPECT_EQ(ps->ItemByIndex("LEAF")->Keyword(), "leaf");
}

TEST_F(XmlViewsTest, EditingMembersChangeNothing) {
  auto ps = View("<a k='v'/>");
  const std::string before = ps->ToString(true);
  EXPECT_EQ(before, "<a k=\"v\"/>");
  ps->SetCommand("b");
  EXPECT_FALSE(ps->Add("x", Variant(1)));
  EXPECT_FALSE(ps->AddList("l"));
  EXPECT_FALSE(ps->Parse("b x=1"));
  EXPECT_FALSE(ps->RemoveElement(ps->Item(1)));
  ps->SetShowTypes(true);
  EXPECT_FALSE(ps->ShowTypes());
  EXPECT_EQ(ToText(ps->Value("k")), "");
  EXPECT_EQ(ps->LastError(), "");
  EXPECT_FALSE(ps->params());
  EXPECT_EQ(ps->QuoteChars(), "\"\"");
  Ref<XMLParamItem> k = ps->Item(1);
  k->SetKeyword("z");
  k->SetValue(Variant("w"));
  EXPECT_EQ(k->Keyword(), "k");
  EXPECT_EQ(ps->ToString(), before);
  EXPECT_EQ(doc->FirstChild().Xml(), before);
  // The view's own fields do change.
  k->SetParamType(3);
  k->SetRoot(true);
  ps->SetTag("t");
  EXPECT_EQ(k->ParamType(), 3);
  EXPECT_TRUE(k->Root());
  EXPECT_EQ(ps->Tag(), "t");
  // ToString / DumpItem of another item use that item's text.
  auto other = MakeRef<ParamString>();
  ASSERT_TRUE(other->Parse("Ev N=5"));
  EXPECT_EQ(k->DumpItem(other), "Ev N=5");
  EXPECT_EQ(k->ToString(k), "k=\"v\"");
}

TEST_F(XmlViewsTest, LateBoundMembersAndTreeIterator) {
  auto ps = View("<Axis name='X'><Limit/></Axis>");
  auto call = [](Object& o, const char* name, std::vector<Variant> args = {},
                 CallKind kind = CallKind::kMethod) {
    return o.Invoke(name, kind, args);
  };
  EXPECT_EQ(ToText(call(*ps, "Command", {}, CallKind::kGet)), "Axis");
  Variant limit = call(*ps, "ItemByIndex", {Variant("limit")});
  ASSERT_TRUE(limit.is_object());
  EXPECT_EQ(ToText(call(*limit.AsObject(), "Keyword", {}, CallKind::kGet)),
            "Limit");
  EXPECT_EQ(ToText(call(*ps, "ToString", {}, CallKind::kGet)),
            "<Axis name=\"X\"><Limit/></Axis>");
  Variant first = call(*ps, "Item", {Variant(int16_t{1})});
  EXPECT_EQ(ToText(call(*first.AsObject(), "Value", {}, CallKind::kGet)), "X");
  EXPECT_FALSE(call(*ps, "Parse", {Variant("x")}).AsBool());

  auto* tree = ps->As<ITreeIterator>();
  ASSERT_TRUE(tree);
  EXPECT_TRUE(tree->FirstItem());
  EXPECT_TRUE(tree->NextItem()->As<ITreeIterator>());
  EXPECT_FALSE(tree->NextItem());

  ExpectCatalogueKinds({{"XMLParamString", ClassKind::kPublic},
                        {"XMLParamItem", ClassKind::kPublic}});
}

}  // namespace
}  // namespace kvl
