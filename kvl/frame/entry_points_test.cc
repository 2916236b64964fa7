#include "kvl/frame/entry_points.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <functional>
#include <future>
#include <string>
#include <thread>

#include "kvl/frame/catalogue.h"
#include "kvl/frame/frame_classes.h"
#include "kvl/frame/kvl_constants.h"
#include "kvl/frame/library.h"
#include "kvl/runtime/class_factory.h"
#include "kvl/runtime/dynamic_object.h"
#include "kvl/runtime/error.h"
#include "kvl/runtime/registry_store.h"

namespace kvl {
namespace {

ClassFactoryRef FactoryOf(const ClassInfo& info) {
  void* raw = nullptr;
  Guid clsid = info.clsid();
  EXPECT_EQ(DllGetClassObject(&clsid, &kIID_IClassFactory, &raw), kS_OK);
  return ClassFactoryRef::Adopt(raw);
}

TEST(DllGetClassObjectTest, FactoryMakesFreshInstances) {
  ClassFactoryRef factory = FactoryOf(KVLConstants::StaticClass());
  ASSERT_TRUE(factory);
  Ref<Object> a, b;
  EXPECT_EQ(factory->CreateInstance(&a), kS_OK);
  EXPECT_EQ(factory->CreateInstance(&b), kS_OK);
  ASSERT_TRUE(a && b);
  EXPECT_NE(a.get(), b.get());
  EXPECT_EQ(a->ClassName(), "KVLConstants");
  EXPECT_EQ(factory->CreateInstance(nullptr), kE_POINTER);
}

TEST(DllGetClassObjectTest, OnlyGlobalAndCreatableClassesHaveAFactory) {
  Guid cleanup = IKVLCleanup::StaticClass().clsid();
  void* raw = &raw;
  ClearErrorRecord();
  EXPECT_EQ(DllGetClassObject(&cleanup, &kIID_IClassFactory, &raw),
            static_cast<int32_t>(0x80040111));
  EXPECT_EQ(raw, nullptr);
  ErrorRecord record = TakeErrorRecord();
  EXPECT_TRUE(record.set);
  EXPECT_EQ(record.number, kCLASS_E_CLASSNOTAVAILABLE);

  Guid unknown = LibraryGuid("KVLCommon.NoSuchClass");
  EXPECT_EQ(DllGetClassObject(&unknown, nullptr, &raw),
            kCLASS_E_CLASSNOTAVAILABLE);

  Guid constants = KVLConstants::StaticClass().clsid();
  EXPECT_EQ(DllGetClassObject(&constants, &kIID_IClassFactory, nullptr),
            kE_POINTER);
  EXPECT_EQ(DllGetClassObject(&constants, &constants, &raw), kE_NOINTERFACE);
  EXPECT_EQ(DllGetClassObject(&constants, &kIID_IUnknown, &raw), kS_OK);
  ClassFactoryRef::Adopt(raw);
}

TEST(DllCanUnloadNowTest, ClientObjectsFactoriesAndLocksKeepTheLibrary) {
  ReleaseGlobalObjects();
  StartLibrary();
  ASSERT_GT(Object::LiveCount(), Object::ClientLiveCount());  // start-up
  EXPECT_EQ(DllCanUnloadNow(), kS_OK);
  {
    Ref<Object> object = CreateObject("KVLCommon.KVLConstants");
    EXPECT_EQ(DllCanUnloadNow(), kS_FALSE);
  }
  EXPECT_EQ(DllCanUnloadNow(), kS_OK);

  GlobalObject("KVLConstants");
  EXPECT_EQ(DllCanUnloadNow(), kS_FALSE);
  ReleaseGlobalObjects();
  EXPECT_EQ(DllCanUnloadNow(), kS_OK);

  {
    ClassFactoryRef factory = FactoryOf(KVLConstants::StaticClass());
    EXPECT_EQ(DllCanUnloadNow(), kS_FALSE);
    EXPECT_EQ(factory->LockServer(true), kS_OK);
  }
  EXPECT_EQ(DllCanUnloadNow(), kS_FALSE);  // locked, no factory held
  FactoryOf(KVLConstants::StaticClass())->LockServer(false);
  EXPECT_EQ(DllCanUnloadNow(), kS_OK);
}

// Runs, when set, inside every thread's start-up.
std::function<void()> g_during_start_up;
struct StartUpProbe {
  StartUpProbe() {
    if (g_during_start_up) g_during_start_up();
  }
};
KVL_REGISTER_LIBRARY_STATE(StartUpProbe)

// A client object made on one thread while another thread runs start-up is
// the client's, and keeps the library loaded.
TEST(DllCanUnloadNowTest, ObjectsOfOtherThreadsDuringStartUpAreClients) {
  ReleaseGlobalObjects();
  ASSERT_EQ(DllCanUnloadNow(), kS_OK);
  Ref<Object> client;
  g_during_start_up = [&] {
    std::thread([&] { client = MakeRef<DynamicObject>("Client"); }).join();
  };
  std::promise<void> checked;
  std::promise<void> started;
  std::thread starting([&] {
    StartLibrary();
    started.set_value();
    checked.get_future().wait();  // the thread's start-up state stays
  });
  started.get_future().wait();
  g_during_start_up = nullptr;
  EXPECT_EQ(DllCanUnloadNow(), kS_FALSE);
  client.reset();
  EXPECT_EQ(DllCanUnloadNow(), kS_OK);
  checked.set_value();
  starting.join();
}

class RegistrationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char dir[] = "/tmp/kvl_registry_XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    dir_ = dir;
    path_ = dir_ + "/sub/registry";
    setenv("KVL_REGISTRY", path_.c_str(), 1);
  }
  void TearDown() override {
    unsetenv("KVL_REGISTRY");
    std::filesystem::remove_all(dir_);
  }

  std::string dir_;
  std::string path_;
};

TEST_F(RegistrationTest, RoundTripKeepsForeignEntries) {
  RegistryStore foreign = RegistryStore::Parse(
      "[CLSID\\{12345678-0000-0000-0000-000000000001}]\n"
      "InprocServer32=/opt/other/libother.so\n"
      "[Other.Thing]\n"
      "CLSID={12345678-0000-0000-0000-000000000001}\n");
  foreign.Save(path_);

  ASSERT_EQ(DllRegisterServer(), kS_OK);
  RegistryStore reg = RegistryStore::Load(path_);
  std::string library = LibraryFilePath();
  EXPECT_TRUE(std::filesystem::path(library).is_absolute());
  for (const CatalogueEntry* entry : Catalogue::Entries()) {
    const ClassInfo& info = entry->Info();
    SCOPED_TRACE(info.name());
    bool registered = info.kind() == ClassKind::kGlobal ||
                      info.kind() == ClassKind::kCreatable;
    const RegistrySection* by_progid = reg.Find(info.ProgId());
    const RegistrySection* by_clsid = reg.Find(ClassSectionName(info.clsid()));
    EXPECT_EQ(by_progid != nullptr, registered);
    EXPECT_EQ(by_clsid != nullptr, registered);
    if (!registered || !by_progid || !by_clsid) continue;
    EXPECT_EQ(*by_progid->Get(kRegClsid), info.clsid().ToString());
    EXPECT_EQ(*by_clsid->Get(kRegProgId), info.ProgId());
    EXPECT_EQ(*by_clsid->Get(kRegInprocServer), library);
  }
  const RegistrySection* typelib =
      reg.Find(TypeLibSectionName(TypeLibId(), "1.1"));
  ASSERT_NE(typelib, nullptr);
  EXPECT_EQ(*typelib->Get("Name"), "PXKVLCommon");

  // Registering twice changes nothing.
  ASSERT_EQ(DllRegisterServer(), kS_OK);
  EXPECT_EQ(RegistryStore::Load(path_).ToText(), reg.ToText());

  ASSERT_EQ(DllUnregisterServer(), kS_OK);
  EXPECT_EQ(RegistryStore::Load(path_).ToText(), foreign.ToText());
}

TEST_F(RegistrationTest, FailureIsReportedAndLeavesNoTemporaryFile) {
  // The registry path is a directory: the final rename fails.
  std::filesystem::create_directories(path_ + "/occupied");
  ClearErrorRecord();
  EXPECT_EQ(DllRegisterServer(), kE_FAIL);
  ErrorRecord record = TakeErrorRecord();
  EXPECT_TRUE(record.set);
  EXPECT_NE(record.description.find(path_), std::string::npos);
  for (const auto& item : std::filesystem::directory_iterator(dir_ + "/sub")) {
    std::string name = item.path().filename().string();
    EXPECT_TRUE(name == "registry" || name == "registry.lock") << name;
  }
}

}  // namespace
}  // namespace kvl
