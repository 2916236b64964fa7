#include "kvl/runtime/variant.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "kvl/runtime/dynamic_object.h"
#include "kvl/runtime/test_support.h"
#include "kvl/runtime/variant_convert.h"

namespace kvl {
namespace {

TEST(VariantTest, KindsAndPayloadsOfEveryConstructor) {
  const struct {
    Variant value;
    VarType type;
  } kCases[] = {
      {Variant(), VarType::kEmpty},
      {Variant::Null(), VarType::kNull},
      {Variant(int16_t{-2}), VarType::kI2},
      {Variant(70000), VarType::kI4},
      {Variant(1.5f), VarType::kR4},
      {Variant(2.5), VarType::kR8},
      {Variant(Currency{15000}), VarType::kCurrency},
      {Variant(Date{36526.5}), VarType::kDate},
      {Variant("text"), VarType::kString},
      {Variant::Nothing(), VarType::kObject},
      {Variant::Missing(), VarType::kError},
      {Variant(true), VarType::kBool},
      {Variant(Decimal{0, 12345, 2, true}), VarType::kDecimal},
      {Variant(uint8_t{255}), VarType::kByte},
      {Variant::MakeArray(VarType::kString, 1, 2),
       VarType::kArray | VarType::kString},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(static_cast<int>(c.type));
    EXPECT_EQ(c.value.type(), c.type);
    Variant copy = c.value;
    EXPECT_EQ(copy, c.value);
    Variant moved = std::move(copy);
    EXPECT_EQ(moved, c.value);
    EXPECT_TRUE(copy.is_empty());  // a moved-from variant is Empty
  }
  EXPECT_EQ(Variant(true).AsBoolRaw(), -1);
  EXPECT_TRUE(Variant::Missing().is_missing());
  EXPECT_TRUE(Variant::Nothing().is_nothing());
  EXPECT_EQ(Variant(Decimal{0, 12345, 2, true}).AsDecimal().scale, 2);
}

TEST(VariantTest, EqualityIsByKindAndPayload) {
  EXPECT_NE(Variant(int16_t{1}), Variant(1));  // Integer vs Long
  EXPECT_NE(Variant("1"), Variant(1));
  EXPECT_NE(Variant(), Variant::Null());
  EXPECT_EQ(Variant(std::string("a")), Variant("a"));
  auto a = MakeRef<DynamicObject>("A");
  auto b = MakeRef<DynamicObject>("A");
  EXPECT_EQ(Variant(a), Variant(a));
  EXPECT_NE(Variant(a), Variant(b));  // objects by identity
}

TEST(VariantTest, AssignmentReleasesWhatWasHeld) {
  LiveObjectCheck leaks;
  {
    Variant v(MakeRef<DynamicObject>("Held"));
    EXPECT_EQ(leaks.Delta(), 1);
    v = v;  // self-assignment keeps the object
    EXPECT_EQ(leaks.Delta(), 1);
    v = Variant("replaced");
    EXPECT_EQ(leaks.Delta(), 0);
    v = Variant(MakeRef<DynamicObject>("Again"));
    Variant w = std::move(v);
    EXPECT_EQ(w.AsObject()->RefCount(), 1);
  }
  EXPECT_EQ(leaks.Delta(), 0);
}

TEST(VariantTest, NestedArraysAreCopiedDeeply) {
  Variant inner = Variant::MakeArray(VarType::kVariant, 0, 0);
  inner.Array().At(0) = Variant("inner");
  Variant outer = Variant::MakeArray(VarType::kVariant, -1, 0);
  outer.Array().At(-1) = inner;
  Variant copy = outer;
  copy.Array().At(-1).Array().At(0) = Variant("changed");
  EXPECT_EQ(outer.Array().At(-1).Array().At(0), Variant("inner"));
  EXPECT_NE(copy, outer);
}

TEST(VariantTest, ArraysResizeKeepingElementsAndConvertTypedPuts) {
  Variant list = Variant::MakeArray(VarType::kI2, 1, 2);
  list.Array().Put(1, Variant("7"));  // converted to Integer
  EXPECT_EQ(list.Array().At(1), Variant(int16_t{7}));
  list.Array().Resize(4);
  EXPECT_EQ(list.Array().size(), 4);
  EXPECT_EQ(list.Array().At(1), Variant(int16_t{7}));
  EXPECT_EQ(list.Array().At(4), Variant(int16_t{0}));  // typed default
  EXPECT_EQ(RaisedNumber([&] { list.Array().Put(2, Variant("x")); }),
            kErrTypeMismatch);
  EXPECT_EQ(RaisedNumber([&] { list.Array().Put(2, Variant(40000)); }),
            kErrOverflow);
  list.Array().Resize(0);
  EXPECT_EQ(list.Array().size(), 0);
  EXPECT_EQ(RaisedNumber([&] { list.Array().At(1); }),
            kErrSubscriptOutOfRange);
}

TEST(VariantTest, UnknownReferenceIsItsOwnKindHoldingACountedObject) {
  LiveObjectCheck leaks;
  {
    auto obj = MakeRef<DynamicObject>("Thing");
    Variant unknown = Variant::Unknown(obj.get());
    EXPECT_EQ(unknown.type(), VarType::kUnknown);
    EXPECT_TRUE(unknown.is_object());
    EXPECT_TRUE(unknown.is_unknown());
    EXPECT_EQ(obj->RefCount(), 2);
    Variant copy = unknown;
    EXPECT_EQ(copy, unknown);
    EXPECT_EQ(obj->RefCount(), 3);
    // Same object, different kind: not identical.
    EXPECT_NE(unknown, Variant(obj));
    EXPECT_EQ(ChangeType(unknown, VarType::kObject).type(), VarType::kObject);
    EXPECT_EQ(ChangeType(Variant(obj), VarType::kUnknown), unknown);
    EXPECT_TRUE(Variant::Unknown(nullptr).is_nothing());
    EXPECT_EQ(Variant::MakeArray(VarType::kUnknown, 0, 0).Array().At(0).type(),
              VarType::kUnknown);
  }
  EXPECT_EQ(leaks.Delta(), 0);
}

}  // namespace
}  // namespace kvl
