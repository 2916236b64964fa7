// Every class of the keyed collections, object keys and trees is in the
// catalogue with its kind, and creatable by name when its kind says so.
#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "kvl/frame/catalogue.h"
#include "kvl/frame/testing/catalogue_expectations.h"
#include "kvl/runtime/class_info.h"
#include "kvl/runtime/test_support.h"

namespace kvl {
namespace {

TEST(CollectionsCatalogueTest, KindsAndCreation) {
  ExpectCatalogueKinds({
      {"K2OGlobals", ClassKind::kGlobal},
      {"IKVLCollection", ClassKind::kCreatable},
      {"KVLSrtdClctn", ClassKind::kCreatable},
      {"IKVLAssociation", ClassKind::kCreatable},
      {"IKVLDictionary", ClassKind::kCreatable},
      {"Association", ClassKind::kCreatable},
      {"IKVLObserved", ClassKind::kCreatable},
      {"K2OByPointer", ClassKind::kCreatable},
      {"IKVLTree", ClassKind::kCreatable},
      {"IKVLTreeNode", ClassKind::kCreatable},
      {"IKVLROCollection", ClassKind::kPublic},
      {"IKVLComparator", ClassKind::kPublic},
      {"IKVLKeyExtractor", ClassKind::kPublic},
      {"IKVLKeyed", ClassKind::kPublic},
      {"IKVLPredicate", ClassKind::kPublic},
      {"IKVLFunction", ClassKind::kPublic},
      {"IKVLObserver", ClassKind::kPublic},
      {"IKeyToObject", ClassKind::kPublic},
      {"ITreeIterator", ClassKind::kPublic},
      {"TreeProxy", ClassKind::kPublic},
  });
  // TreeProxy answers for IKVLTree.
  Ref<Object> proxy = Catalogue::FindByName("TreeProxy")->create();
  EXPECT_EQ(proxy->QueryInterface("IKVLTree")->Class().name(), "IKVLTree");
}

}  // namespace
}  // namespace kvl
