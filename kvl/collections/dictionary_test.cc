#include "kvl/collections/dictionary.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "kvl/collections/association.h"
#include "kvl/runtime/dynamic_object.h"
#include "kvl/runtime/enum_variant.h"
#include "kvl/runtime/test_support.h"

namespace kvl {
namespace {

TEST(IKVLDictionaryTest, AddLookUpAndRemove) {
  auto d = MakeRef<IKVLDictionary>();
  Ref<Object> printer = MakeRef<DynamicObject>("Printer");
  EXPECT_EQ(d->Add("Port", Variant(8080)), kKVLException_OK);
  EXPECT_EQ(d->Add("Device", Variant(printer)), kKVLException_OK);
  EXPECT_EQ(d->Add("PORT", Variant("again")), kKVLException_DuplicateItem);
  EXPECT_EQ(d->Value(Variant("port")), Variant(8080));
  EXPECT_EQ(d->Value(Variant("device")).AsObject(), printer.get());  // same
  EXPECT_EQ(d->Value(Variant(int16_t{2})).AsObject(), printer.get());
  EXPECT_TRUE(d->Value(Variant("missing")).is_empty());
  EXPECT_FALSE(d->Item(Variant(3)));
  EXPECT_EQ(d->Remove(Variant("nope")), kKVLException_ItemNotFound);
  EXPECT_EQ(d->Remove(Variant(1)), kKVLException_OK);
  EXPECT_EQ(d->Item(Variant(1))->Key(), "Device");

  // AddAssoc stores under the key as it reads when added.
  auto a = MakeRef<IKVLAssociation>("Name", Variant("x"));
  EXPECT_EQ(d->AddAssoc(a), kKVLException_OK);
  EXPECT_EQ(d->AddAssoc(a), kKVLException_DuplicateItem);
  a->SetKey("Other");
  EXPECT_EQ(d->Item(Variant("name")), a);
  EXPECT_EQ(RaisedNumber([&] { d->AddAssoc(nullptr); }), kErrObjectNotSet);
  EXPECT_EQ(d->Add("", Variant(1)), kKVLException_OK);  // no key
  EXPECT_EQ(d->Add("", Variant(2)), kKVLException_OK);
  EXPECT_EQ(d->Count(), 4);
}

TEST(IKVLDictionaryTest, LateBoundAssociationsAndEnumeration) {
  LiveObjectCheck leaks;
  {
    Ref<Object> d = MakeRef<IKVLDictionary>();
    CallByName(*d, "Add", CallKind::kMethod, "b", 2);
    Ref<Object> a = MakeRef<IKVLAssociation>();
    CallByName(*a, "Key", CallKind::kLet, "a");
    CallByName(*a, "Value", CallKind::kSet, d);  // a reference, a cycle
    EXPECT_EQ(RaisedNumber([&] { CallByName(*a, "Value", CallKind::kSet, 3); }),
              kErrTypeMismatch);
    EXPECT_EQ(CallByName(*d, "AddAssoc", CallKind::kMethod, a),
              Variant(int32_t{0}));
    EXPECT_EQ(CallByName(*d, "Value", CallKind::kGet, "A").AsObject(), d.get());
    EXPECT_EQ(
        RaisedNumber([&] { CallByName(*d, "AddAssoc", CallKind::kMethod, d); }),
        kErrTypeMismatch);
    std::vector<std::string> keys;
    ForEach(Variant(d), [&](const Variant& item) {
      keys.push_back(
          ToText(CallByName(*item.AsObject(), "Key", CallKind::kGet)));
      return true;
    });
    EXPECT_EQ(keys, std::vector<std::string>({"b", "a"}));
    CallByName(*a, "Value", CallKind::kLet, 2.5);  // breaks the cycle
    EXPECT_EQ(CallByName(*d, "Value", CallKind::kGet, 2), Variant(2.5));
  }
  EXPECT_EQ(leaks.Delta(), 0);
}

TEST(AssociationTest, TypeFlagsAndValues) {
  Ref<Association> a = MakeRef<Association>();
  EXPECT_TRUE(a->Mapping().is_empty() && a->Value().is_empty());
  EXPECT_EQ(a->Types(), 0);
  EXPECT_FALSE(a->UseForMatching());
  const struct {
    int16_t types;
    Variant flag;
    bool set;
  } cases[] = {
      {96, Variant(int16_t{64}), true},
      {96, Variant(int16_t{128}), false},
      {96, Variant("32"), true},
      {ST_String, Variant(32768), true},  // Types is sign-extended
      {ST_BOOLEAN, Variant(int32_t{ST_String}), false},
  };
  for (const auto& [types, flag, set] : cases) {
    a->SetTypes(types);
    EXPECT_EQ(a->IsTypeSet(flag), set) << types << " & " << ToText(flag);
  }
  EXPECT_EQ(RaisedNumber([&] { a->IsTypeSet(Variant("I4")); }),
            kErrTypeMismatch);
  Ref<Object> receiver = MakeRef<DynamicObject>("Receiver");
  CallByName(*a, "Types", CallKind::kLet, int16_t{ST_I4});
  CallByName(*a, "AddType", CallKind::kMethod, int16_t{ST_I2});
  CallByName(*a, "AddType", CallKind::kMethod, int16_t{ST_I4});
  CallByName(*a, "Mapping", CallKind::kLet, receiver);  // kept as a reference
  CallByName(*a, "Value", CallKind::kLet, "Copies");
  CallByName(*a, "UseForMatching", CallKind::kLet, true);
  EXPECT_EQ(a->Types(), 96);
  EXPECT_EQ(a->Mapping().AsObject(), receiver.get());
  EXPECT_EQ(CallByName(*a, "Value", CallKind::kGet), Variant("Copies"));
  EXPECT_TRUE(a->UseForMatching());
}

}  // namespace
}  // namespace kvl
