// A client that knows the library only through the registry: it loads the
// library by path just to register it, then creates a class by programmatic
// id and calls it late-bound. This program must not link the library.
#include <dlfcn.h>
#include <elf.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "kvl/runtime/activation.h"
#include "kvl/runtime/error.h"
#include "kvl/runtime/object.h"
#include "kvl/runtime/registry_store.h"
#include "kvl/runtime/variant.h"

namespace kvl {
namespace {

class ActivationClientTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* library = std::getenv("KVL_LIBRARY_PATH");
    ASSERT_NE(library, nullptr) << "KVL_LIBRARY_PATH is not set";
    library_ = library;
    char dir[] = "/tmp/kvl_activation_XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    dir_ = dir;
    registry_ = dir_ + "/registry";
    setenv("KVL_REGISTRY", registry_.c_str(), 1);
  }
  void TearDown() override {
    unsetenv("KVL_REGISTRY");
    std::filesystem::remove_all(dir_);
  }

  // Calls an exported entry point of the library without linking it.
  int32_t CallEntryPoint(const char* name) {
    void* handle = dlopen(library_.c_str(), RTLD_NOW | RTLD_LOCAL);
    EXPECT_NE(handle, nullptr) << dlerror();
    if (!handle) return kE_FAIL;
    auto fn = reinterpret_cast<int32_t (*)()>(dlsym(handle, name));
    EXPECT_NE(fn, nullptr) << name;
    return fn ? fn() : kE_FAIL;  // the library stays loaded
  }

  static int32_t CreationFailure(std::string_view progid) {
    try {
      CreateObjectFromRegistry(progid);
    } catch (const KVLError& e) {
      return e.number();
    }
    return 0;
  }

  std::string library_;
  std::string dir_;
  std::string registry_;
};

TEST_F(ActivationClientTest, CreatesByProgIdAndCallsByName) {
  EXPECT_EQ(CreationFailure("KVLCommon.KVLConstants"), kREGDB_E_CLASSNOTREG);
  ASSERT_EQ(CallEntryPoint("DllRegisterServer"), kS_OK);

  Ref<Object> constants = CreateObjectFromRegistry("kvlcommon.kvlconstants");
  ASSERT_TRUE(constants);
  Variant args[] = {Variant(int32_t{10003})};
  Variant text = constants->Invoke("kKVLExceptionString", CallKind::kGet, args);
  ASSERT_TRUE(text.is_string());
  EXPECT_EQ(text.AsString(), "The specified item was not found");

  // A failure inside the library reaches the client as a KVLError.
  try {
    constants->Invoke("NoSuchMember", CallKind::kMethod, {});
    ADD_FAILURE() << "unknown member did not raise";
  } catch (const KVLError& e) {
    EXPECT_EQ(e.number(), kErrNotSupported);
  }
  constants.reset();

  ASSERT_EQ(CallEntryPoint("DllUnregisterServer"), kS_OK);
  EXPECT_EQ(CreationFailure("KVLCommon.KVLConstants"), kREGDB_E_CLASSNOTREG);
}

TEST_F(ActivationClientTest, ClassesOfOtherKindsAreNotRegistered) {
  ASSERT_EQ(CallEntryPoint("DllRegisterServer"), kS_OK);
  RegisteredClass reg;
  EXPECT_TRUE(
      LookupClassRegistration(registry_, "KVLCommon.KVLCommonGlobal", &reg));
  EXPECT_EQ(reg.library, std::filesystem::canonical(library_).string());
  EXPECT_FALSE(
      LookupClassRegistration(registry_, "KVLCommon.IKVLCleanup", &reg));
  EXPECT_EQ(CreationFailure("KVLCommon.IKVLCleanup"), kREGDB_E_CLASSNOTREG);
}

TEST_F(ActivationClientTest, MissingLibraryFileIsReported) {
  RegistryStore store;
  Guid clsid = LibraryGuid("KVLCommon.Ghost");
  store.Section("KVLCommon.Ghost").Set(kRegClsid, clsid.ToString());
  store.Section(ClassSectionName(clsid))
      .Set(kRegInprocServer, dir_ + "/missing.so");
  store.Save(registry_);
  EXPECT_EQ(CreationFailure("KVLCommon.Ghost"), kE_FAIL);
}

// The names this executable's dynamic section lists as needed.
std::vector<std::string> NeededLibraries() {
  std::ifstream in("/proc/self/exe", std::ios::binary);
  std::vector<char> file((std::istreambuf_iterator<char>(in)),
                         std::istreambuf_iterator<char>());
  std::vector<std::string> needed;
  if (file.size() < sizeof(Elf64_Ehdr)) return needed;
  const auto* eh = reinterpret_cast<const Elf64_Ehdr*>(file.data());
  if (eh->e_ident[EI_CLASS] != ELFCLASS64) return needed;
  const auto* sections =
      reinterpret_cast<const Elf64_Shdr*>(file.data() + eh->e_shoff);
  for (int i = 0; i < eh->e_shnum; ++i) {
    if (sections[i].sh_type != SHT_DYNAMIC) continue;
    const char* strings = file.data() + sections[sections[i].sh_link].sh_offset;
    const auto* dyn =
        reinterpret_cast<const Elf64_Dyn*>(file.data() + sections[i].sh_offset);
    size_t count = sections[i].sh_size / sizeof(Elf64_Dyn);
    for (size_t k = 0; k < count && dyn[k].d_tag != DT_NULL; ++k)
      if (dyn[k].d_tag == DT_NEEDED)
        needed.push_back(strings + dyn[k].d_un.d_val);
  }
  return needed;
}

TEST(ActivationClientLinkTest, DoesNotLinkTheLibrary) {
  std::vector<std::string> needed = NeededLibraries();
  ASSERT_FALSE(needed.empty()) << "no dynamic section found";
  for (const std::string& name : needed)
    EXPECT_EQ(name.find("kvlcommon"), std::string::npos) << name;
}

}  // namespace
}  // namespace kvl
