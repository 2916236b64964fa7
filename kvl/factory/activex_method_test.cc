// The texts of method descriptions: kinds, the variant type names, named
// types and indirection, and the one-line form.
#include "kvl/factory/activex_method.h"

#include <gtest/gtest.h>

#include <string>

#include "kvl/runtime/variant_convert.h"

namespace kvl {
namespace {

TEST(ActiveXMethodTest, KindAndTypeNames) {
  const struct {
    int32_t kind;
    const char* text;
  } kinds[] = {{0, "Unknown"},         {1, "Function"},
               {2, "Property Get"},    {4, "Property Put"},
               {8, "Property PutRef"}, {16, "EventHandler"},
               {3, "Unexpected"},      {32, "Unexpected"}};
  for (const auto& k : kinds)
    EXPECT_EQ(MethodTypeText(k.kind), k.text) << k.kind;

  const struct {
    int32_t vt;
    const char* text;
  } types[] = {{0, "[Empty]"},
               {1, "Null"},
               {2, "Integer"},
               {18, "Integer"},
               {22, "Integer"},
               {23, "Integer"},
               {3, "Long"},
               {19, "Long"},
               {4, "Single"},
               {5, "Double"},
               {7, "Date"},
               {8, "BStr"},
               {11, "Boolean"},
               {12, "Variant"},
               {14, "Decimal"},
               {16, "Byte"},
               {17, "Byte"},
               {20, "Int8"},
               {21, "UInt8"},
               {24, "Void"},
               {25, "HResult"},
               {30, "LPStr"},
               {31, "LPWStr"},
               // Kinds the table does not name.
               {6, "[Unsupported type]"},
               {9, "[Unsupported type]"},
               {13, "[Unsupported type]"},
               {29, "[Unsupported type]"},
               // Flag bits are ignored: array, vector, by-reference, reserved.
               {0x2008, "BStr"},
               {0x1003, "Long"},
               {0x4000 | 11, "Boolean"},
               {0x8000 | 12, "Variant"}};
  for (const auto& t : types) EXPECT_EQ(VariantTypeText(t.vt), t.text) << t.vt;

  // A named type replaces the kind's name; each level of indirection adds
  // one "*".
  EXPECT_EQ(TypeDescText({9, "IKVLCollection", 0}), "IKVLCollection");
  EXPECT_EQ(TypeDescText({3, "", 1}), "Long*");
  EXPECT_EQ(TypeDescText({9, "ParamItem", 2}), "ParamItem**");
}

TypeLibMember Member(const char* name, int32_t kind, int32_t result,
                     std::vector<TypeLibParam> params = {}) {
  TypeLibMember m;
  m.name = name;
  m.invoke_kind = kind;
  m.result.vt = result;
  m.params = std::move(params);
  return m;
}

TypeLibParam Param(const char* name, int32_t vt, int32_t indirection = 0) {
  TypeLibParam p;
  p.name = name;
  p.type = {vt, "", indirection};
  return p;
}

TEST(ActiveXMethodTest, OneLineForm) {
  Ref<ActiveXMethod> add = ActiveXMethod::Describe(
      Member("Add", 1, 3, {Param("a", 3), Param("b", 3)}));
  EXPECT_EQ(add->ToString(), "Function Add(Long a,Long b) As Long");
  // Without parameters there are no parentheses.
  EXPECT_EQ(ActiveXMethod::Describe(Member("Count", 2, 2))->ToString(),
            "Property Get Count As Integer");
  Ref<ActiveXMethod> swap =
      ActiveXMethod::Describe(Member("Swap", 1, kVtVoid, {Param("s", 8, 1)}));
  EXPECT_EQ(swap->ToString(), "Function Swap(BStr* s) As Void");
  // Parameters by 1-based index; out of range gives "".
  EXPECT_EQ(add->ParamCount(), 2);
  EXPECT_EQ(add->Param(2), "Long b");
  EXPECT_EQ(add->Param(0), "");
  EXPECT_EQ(add->Param(3), "");
  // By name, ToString is the default member.
  EXPECT_EQ(ToText(add->Invoke("", CallKind::kGet, {})),
            "Function Add(Long a,Long b) As Long");
}

}  // namespace
}  // namespace kvl
