#include "kvl/runtime/registry_store.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

#include "kvl/runtime/error.h"

namespace kvl {
namespace {

TEST(RegistryStoreTest, ParsesSectionsAndKeepsOrder) {
  RegistryStore store = RegistryStore::Parse(
      "# comment\r\n"
      "\n"
      "[CLSID\\{AAAAAAAA-0000-0000-0000-000000000000}]\r\n"
      "  ProgID = A.B  \n"
      "Path=/x=y\n"
      "; another comment\n"
      "[A.B]\n"
      "CLSID={AAAAAAAA-0000-0000-0000-000000000000}\n");
  ASSERT_EQ(store.sections().size(), 2u);
  const RegistrySection* cls =
      store.Find("clsid\\{aaaaaaaa-0000-0000-0000-000000000000}");
  ASSERT_NE(cls, nullptr);
  EXPECT_EQ(*cls->Get("progid"),
            " A.B");  // value kept after '=', right-trimmed
  EXPECT_EQ(*cls->Get("Path"), "/x=y");
  EXPECT_EQ(cls->Get("Missing"), nullptr);
  EXPECT_EQ(store.sections()[1].name, "A.B");

  // Written text reads back to the same store.
  RegistryStore again = RegistryStore::Parse(store.ToText());
  EXPECT_EQ(again.ToText(), store.ToText());
}

TEST(RegistryStoreTest, EditsSectionsIgnoringCase) {
  RegistryStore store;
  store.Section("One").Set("k", "1");
  store.Section("ONE").Set("K", "2");
  store.Section("Two").Set("k", "3");
  ASSERT_EQ(store.sections().size(), 2u);
  EXPECT_EQ(*store.Find("one")->Get("k"), "2");
  EXPECT_TRUE(store.Remove("one"));
  EXPECT_FALSE(store.Remove("one"));
  EXPECT_EQ(store.sections().size(), 1u);
}

class RegistryFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char dir[] = "/tmp/kvl_store_XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    dir_ = dir;
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::string dir_;
};

TEST_F(RegistryFileTest, SaveCreatesDirectoriesAndUpdateKeepsOthers) {
  std::string path = dir_ + "/a/b/registry";
  EXPECT_TRUE(RegistryStore::Load(path).sections().empty());
  RegistryStore store;
  store.Section("Foreign").Set("x", "1");
  store.Save(path);
  RegistryStore::Update(
      path, [](RegistryStore& r) { r.Section("Mine").Set("y", "2"); });
  RegistryStore back = RegistryStore::Load(path);
  ASSERT_EQ(back.sections().size(), 2u);
  EXPECT_EQ(*back.Find("Foreign")->Get("x"), "1");
  EXPECT_EQ(*back.Find("Mine")->Get("y"), "2");
}

TEST_F(RegistryFileTest, FailedSaveLeavesTheOldFile) {
  std::string path = dir_ + "/registry";
  RegistryStore old;
  old.Section("Old").Set("k", "v");
  old.Save(path);
  // A failing edit raises before anything is written.
  EXPECT_THROW(RegistryStore::Update(path,
                                     [](RegistryStore& r) {
                                       r.Section("New");
                                       Raise(kE_FAIL);
                                     }),
               KVLError);
  EXPECT_EQ(RegistryStore::Load(path).ToText(), old.ToText());
  // Saving over a directory fails and leaves no temporary file.
  std::filesystem::create_directories(dir_ + "/dir/registry/inside");
  EXPECT_THROW(old.Save(dir_ + "/dir/registry"), KVLError);
  int files = 0;
  for ([[maybe_unused]] const auto& item :
       std::filesystem::directory_iterator(dir_ + "/dir"))
    ++files;
  EXPECT_EQ(files, 1);
}

TEST(RegistryPathTest, EnvironmentChoosesTheLocation) {
  std::string saved_home = getenv("HOME") ? getenv("HOME") : "";
  setenv("KVL_REGISTRY", "/r/file", 1);
  setenv("XDG_CONFIG_HOME", "/x", 1);
  setenv("HOME", "/h", 1);
  EXPECT_EQ(RegistryStore::DefaultPath(), "/r/file");
  unsetenv("KVL_REGISTRY");
  EXPECT_EQ(RegistryStore::DefaultPath(), "/x/kvlcommon/registry");
  // A relative or empty XDG_CONFIG_HOME is invalid and ignored.
  setenv("XDG_CONFIG_HOME", "rel/dir", 1);
  EXPECT_EQ(RegistryStore::DefaultPath(), "/h/.config/kvlcommon/registry");
  setenv("XDG_CONFIG_HOME", "", 1);
  EXPECT_EQ(RegistryStore::DefaultPath(), "/h/.config/kvlcommon/registry");
  setenv("KVL_REGISTRY", "", 1);
  EXPECT_EQ(RegistryStore::DefaultPath(), "/h/.config/kvlcommon/registry");
  unsetenv("KVL_REGISTRY");
  unsetenv("XDG_CONFIG_HOME");
  EXPECT_EQ(RegistryStore::DefaultPath(), "/h/.config/kvlcommon/registry");
  setenv("HOME", saved_home.c_str(), 1);
}

}  // namespace
}  // namespace kvl
