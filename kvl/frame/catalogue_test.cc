#include "kvl/runtime/test_support.h"
#include "kvl/frame/catalogue.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <thread>

#include "kvl/frame/kvl_constants.h"
#include "kvl/runtime/class_info.h"
#include "kvl/runtime/error.h"

namespace kvl {
namespace {

// Every entry's member table builds (a malformed one aborts here) and no two
// entries share a class id or an interface id.
TEST(CatalogueTest, IdentifiersAreUniqueAndTablesBuild) {
  std::map<std::string, std::string> owner;  // guid -> class
  for (const CatalogueEntry* entry : Catalogue::Entries()) {
    const ClassInfo& info = entry->Info();
    for (const Guid& id : {info.clsid(), info.iid()}) {
      auto [it, fresh] = owner.emplace(id.ToString(), info.name());
      EXPECT_TRUE(fresh) << info.name() << " shares " << it->first << " with "
                         << it->second;
    }
    EXPECT_EQ(Catalogue::FindByClsid(info.clsid()), entry) << info.name();
    if (info.kind() == ClassKind::kGlobal ||
        info.kind() == ClassKind::kCreatable) {
      EXPECT_NE(entry->create, nullptr) << info.name();
    }
  }
  EXPECT_GE(owner.size(), 8u);
}

TEST(CatalogueTest, FindsByProgIdNameAndClassId) {
  const CatalogueEntry* entry =
      Catalogue::FindByProgId("KVLCommon.KVLConstants");
  ASSERT_NE(entry, nullptr);
  EXPECT_EQ(&entry->Info(), &KVLConstants::StaticClass());
  EXPECT_EQ(Catalogue::FindByProgId("kvlcommon.KVLCONSTANTS"), entry);
  EXPECT_EQ(Catalogue::FindByName("kvlconstants"), entry);
  EXPECT_EQ(Catalogue::FindByProgId("KVLConstants"), nullptr);
  EXPECT_EQ(Catalogue::FindByProgId("Other.KVLConstants"), nullptr);

  std::string clsid = entry->Info().clsid().ToString();
  EXPECT_EQ(Catalogue::Find(clsid), entry);
  EXPECT_EQ(Catalogue::Find(clsid.substr(1, clsid.size() - 2)), entry);
  EXPECT_EQ(Catalogue::Find("{00000000-9BE3-11D4-A4D8-00B0D02B011D}"), nullptr);
}

TEST(CatalogueTest, CreatesFreshInstancesByProgIdAndClassId) {
  Ref<Object> a = CreateObject("KVLCommon.KVLConstants");
  Ref<Object> b = CreateObject(KVLConstants::StaticClass().clsid().ToString());
  ASSERT_TRUE(a && b);
  EXPECT_NE(a.get(), b.get());
  EXPECT_EQ(a->ClassName(), "KVLConstants");
  EXPECT_EQ(b->ClassName(), "KVLConstants");
  // An explicit instance of a global class is not the implicit one.
  EXPECT_NE(a.get(), GlobalObject("KVLConstants").get());
}

TEST(CatalogueTest, CreationFailures) {
  EXPECT_EQ(RaisedNumber([] { CreateObject("KVLCommon.NoSuchClass"); }),
            kREGDB_E_CLASSNOTREG);
  EXPECT_EQ(RaisedNumber([] { CreateObject("KVLCommon.IKVLCleanup"); }),
            kCLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(RaisedNumber([] { GlobalObject("IKVLCleanup"); }),
            kCLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(RaisedNumber([] { GlobalObject("NoSuchClass"); }),
            kREGDB_E_CLASSNOTREG);
}

TEST(GlobalObjectTest, OneImplicitInstancePerThread) {
  Ref<Object> mine = GlobalObject("KVLConstants");
  EXPECT_EQ(GlobalObject("KVLCommon.kvlconstants").get(), mine.get());

  Ref<Object> theirs, theirs_again;
  std::thread other([&] {
    theirs = GlobalObject("KVLConstants");
    theirs_again = GlobalObject("KVLConstants");
  });
  other.join();
  ASSERT_TRUE(theirs);
  EXPECT_EQ(theirs.get(), theirs_again.get());
  EXPECT_NE(theirs.get(), mine.get());
  // The other thread released its instance when it ended.
  EXPECT_EQ(theirs->RefCount(), 2);
}

TEST(GlobalObjectTest, ReleaseGlobalObjectsStartsAfresh) {
  Ref<Object> before = GlobalObject("KVLConstants");
  int32_t refs = before->RefCount();
  ReleaseGlobalObjects();
  EXPECT_EQ(before->RefCount(), refs - 1);
  EXPECT_NE(GlobalObject("KVLConstants").get(), before.get());
  ReleaseGlobalObjects();
}

}  // namespace
}  // namespace kvl
