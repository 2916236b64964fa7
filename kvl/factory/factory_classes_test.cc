// The factory's classes are in the catalogue with their kinds and answer a
// script client by name.
#include <gtest/gtest.h>

#include "kvl/frame/catalogue.h"
#include "kvl/frame/entry_points.h"
#include "kvl/frame/library.h"
#include "kvl/frame/testing/catalogue_expectations.h"
#include "kvl/runtime/enum_variant.h"
#include "kvl/runtime/test_support.h"
#include "kvl/runtime/variant_convert.h"

namespace kvl {
namespace {

TEST(FactoryCatalogueTest, KindsAndCreation) {
  ExpectCatalogueKinds({
      {"KVLGeneric", ClassKind::kGlobal},
      {"ActiveXFactory", ClassKind::kCreatable},
      {"MetaFactory", ClassKind::kCreatable},
      {"ActiveXProducer", ClassKind::kPublic},
      {"ActiveXMethod", ClassKind::kPublic},
      {"IKVLObjectProducer", ClassKind::kPublic},
      {"IKVLObjectFactory", ClassKind::kPublic},
      {"IKVLObjectFactory2", ClassKind::kPublic},
  });
  // Start-up makes the library's own KVLGeneric.
  EXPECT_EQ(InternalInstance("KVLGeneric").ClassName(), "KVLGeneric");
}

TEST(FactoryCatalogueTest, ScriptClient) {
  LiveObjectCheck live;
  {
    Ref<Object> meta = CreateObject("KVLCommon.MetaFactory");
    Ref<Object> factory = CreateObject("KVLCommon.ActiveXFactory");
    CallByName(*factory, "FileName", CallKind::kLet, LibraryFilePath());
    EXPECT_TRUE(
        ToBool(CallByName(*meta, "Add", CallKind::kMethod, Variant(factory))));
    Variant made =
        CallByName(*meta, "CreateNew", CallKind::kMethod, "KVLGeneric", "");
    ASSERT_TRUE(made.is_object());
    std::string key = ToText(
        CallByName(*made.AsObject(), "MakeUniqueKey", CallKind::kMethod));
    EXPECT_EQ(key.rfind("K.", 0), 0u);
    // Interface members answer by name on the factory itself.
    Variant producers =
        CallByName(*factory, "ImplementorsOf", CallKind::kGet, "IKVLPredicate");
    EXPECT_EQ(ToI2(CallByName(*producers.AsObject(), "Count", CallKind::kGet)),
              1);
    Variant methods = CallByName(*factory, "MethodsForInterface",
                                 CallKind::kGet, "IKVLPredicate");
    Variant first = CallByName(*methods.AsObject(), "Item", CallKind::kGet, 1);
    EXPECT_EQ(ToText(CallByName(*first.AsObject(), "", CallKind::kGet)),
              "Function Predicate([Unsupported type] o) As Boolean");
  }
  EXPECT_EQ(live.Delta(), 0);
}

}  // namespace
}  // namespace kvl
