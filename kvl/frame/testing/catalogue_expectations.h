// Test helper: checks that classes are in the catalogue with the expected
// kind and that creation by programmatic id behaves as the kind says
// (global and creatable classes are made; public interfaces are refused
// with CLASS_E_CLASSNOTAVAILABLE). Header-only, for *_test.cc files.
//
//   ExpectCatalogueKinds({{"EventBus", ClassKind::kCreatable},
//                         {"IEventReceiver", ClassKind::kPublic}});
#ifndef KVL_FRAME_TESTING_CATALOGUE_EXPECTATIONS_H_
#define KVL_FRAME_TESTING_CATALOGUE_EXPECTATIONS_H_

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <utility>

#include "kvl/frame/catalogue.h"
#include "kvl/runtime/class_info.h"
#include "kvl/runtime/test_support.h"

namespace kvl {

inline void ExpectCatalogueKinds(
    std::initializer_list<std::pair<const char*, ClassKind>> classes) {
  for (const auto& [name, kind] : classes) {
    SCOPED_TRACE(name);
    const CatalogueEntry* entry = Catalogue::FindByName(name);
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->Info().kind(), kind);
    const std::string progid = std::string("KVLCommon.") + name;
    if (kind == ClassKind::kGlobal || kind == ClassKind::kCreatable) {
      EXPECT_EQ(CreateObject(progid)->ClassName(), name);
    } else {
      EXPECT_EQ(RaisedNumber([&] { CreateObject(progid); }),
                kCLASS_E_CLASSNOTAVAILABLE);
    }
  }
}

}  // namespace kvl

#endif  // KVL_FRAME_TESTING_CATALOGUE_EXPECTATIONS_H_
