// Saving and loading the key indexes: the exact bytes of the file, round
// trips, refusing bad files without changing anything, and saves that fail
// without harming the old file.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "kvl/tables/internal/test_table.h"
#include "kvl/tables/kvl_table_utils.h"

namespace kvl {
namespace {

using tables_internal::TestTable;

class IndexFileTest : public ::testing::Test {
 protected:
  IndexFileTest() {
    char pattern[] = "/tmp/kvl_tables_XXXXXX";
    dir_ = mkdtemp(pattern);
    table_->Add("bb", "y").Add("A", "x").Add("c", "");
    utils_->SetTableAccessorRef(table_);
  }
  ~IndexFileTest() override { std::filesystem::remove_all(dir_); }

  std::string Path(const char* name) const { return dir_ + "/" + name; }
  static std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  static void Write(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
  }
  std::vector<int32_t> Walk(KVLTableUtils& utils, int16_t which) {
    std::vector<int32_t> rows;
    for (int32_t i = 0; utils.DataIndexOfKeyIndex(i, which) >= 0; ++i)
      rows.push_back(utils.DataIndexOfKeyIndex(i, which));
    return rows;
  }
  std::vector<std::string> Files() const {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir_))
      names.push_back(e.path().filename());
    return names;
  }

  std::string dir_;
  Ref<TestTable> table_ = MakeRef<TestTable>();
  Ref<KVLTableUtils> utils_ = MakeRef<KVLTableUtils>();
};

std::string Bytes(std::initializer_list<int> bytes) {
  std::string s;
  for (int b : bytes) s += static_cast<char>(b);
  return s;
}

// Index 0 over "bb", "A", "c" and index 1 over "y", "x", "".
// clang-format off
const std::string kBothIndexes =
    Bytes({3, 0, 0, 0, 8, 0, 0, 0}) +
    Bytes({1, 0}) + "A" + Bytes({1, 0, 0, 0}) +
    Bytes({2, 0}) + "bb" + Bytes({0, 0, 0, 0}) +
    Bytes({1, 0}) + "c" + Bytes({2, 0, 0, 0}) +
    Bytes({3, 0, 0, 0, 8, 0, 0, 0}) +
    Bytes({0, 0}) + Bytes({2, 0, 0, 0}) +
    Bytes({1, 0}) + "x" + Bytes({1, 0, 0, 0}) +
    Bytes({1, 0}) + "y" + Bytes({0, 0, 0, 0});
// clang-format on

TEST_F(IndexFileTest, WritesTheBlocksExactly) {
  EXPECT_TRUE(utils_->SaveToFile(Path("empty")));
  EXPECT_EQ(Read(Path("empty")), std::string(8, '\0'));  // two empty blocks

  utils_->BuildIndex(0);
  utils_->BuildIndex(1);
  EXPECT_TRUE(utils_->SaveToFile(Path("both")));
  EXPECT_EQ(Read(Path("both")), kBothIndexes);
  // The temporary file is gone.
  EXPECT_EQ(Files().size(), 2u);
}

TEST_F(IndexFileTest, LoadGivesBackTheSameIndexes) {
  utils_->BuildIndex(0);
  utils_->BuildIndex(1);
  utils_->InsertKey("B", 3);
  table_->Add("B", "z");
  ASSERT_TRUE(utils_->SaveToFile(Path("i")));
  const std::string saved = Read(Path("i"));

  auto loaded = MakeRef<KVLTableUtils>();
  loaded->SetTableAccessorRef(table_);
  // Bytes after the two blocks are not read.
  Write(Path("i"), saved + "trailing");
  ASSERT_TRUE(loaded->LoadFromFile(Path("i")));
  ASSERT_TRUE(loaded->SaveToFile(Path("again")));
  EXPECT_EQ(Read(Path("again")), saved);
  EXPECT_EQ(Walk(*loaded, 0), (std::vector<int32_t>{1, 3, 0, 2}));
  EXPECT_EQ(Walk(*loaded, 1), Walk(*utils_, 1));
  EXPECT_EQ(loaded->ItemIndex("BB"), 0);
  EXPECT_EQ(loaded->Capacity(), 0);
  // A loaded index takes insertions like a built one.
  loaded->InsertKey("a", 4);
  table_->Add("a");
  EXPECT_EQ(Walk(*loaded, 0), (std::vector<int32_t>{1, 4, 3, 0, 2}));
  EXPECT_EQ(loaded->ItemIndex("A"), 1);
}

// Files are read in pieces; records cross the pieces' borders.
TEST_F(IndexFileTest, LargeFilesRoundTrip) {
  for (int i = 0; i < 40000; ++i)
    table_->Add("key " + std::to_string(i * 7919 % 40000), std::to_string(i));
  utils_->BuildIndex(0);
  utils_->BuildIndex(1);
  ASSERT_TRUE(utils_->SaveToFile(Path("big")));
  auto loaded = MakeRef<KVLTableUtils>();
  loaded->SetTableAccessorRef(table_);
  ASSERT_TRUE(loaded->LoadFromFile(Path("big")));
  EXPECT_EQ(Walk(*loaded, 0), Walk(*utils_, 0));
  EXPECT_EQ(Walk(*loaded, 1), Walk(*utils_, 1));
  const std::string bytes = Read(Path("big"));
  Write(Path("big"), bytes.substr(0, bytes.size() - 1));
  EXPECT_FALSE(loaded->LoadFromFile(Path("big")));
}

TEST_F(IndexFileTest, RefusesBadFilesAndKeepsTheIndexes) {
  utils_->BuildIndex(0);
  const std::vector<int32_t> before = Walk(*utils_, 0);
  std::vector<std::string> bad = {
      Bytes({0xff, 0xff, 0xff, 0xff}) + std::string(4, '\0'),  // count -1
      Bytes({0xff, 0xff, 0xff, 0x7f, 8, 0, 0, 0}) + std::string(64, 'x'),
      Bytes({1, 0, 0, 0, 8, 0, 0, 0, 0xfe, 0xff}) + "abcd" +
          std::string(8, '\0'),
      Bytes({1, 0, 0, 0, 8, 0, 0, 0, 0x10, 0}) + "short" + std::string(8, '\0'),
      std::string(4, '\0'),  // the second block is missing
  };
  // Every proper prefix of a good file is truncated.
  for (size_t n = 0; n < kBothIndexes.size(); ++n)
    bad.push_back(kBothIndexes.substr(0, n));
  for (const std::string& bytes : bad) {
    Write(Path("bad"), bytes);
    EXPECT_FALSE(utils_->LoadFromFile(Path("bad"))) << bytes.size();
    EXPECT_EQ(Walk(*utils_, 0), before);
  }
  EXPECT_FALSE(utils_->LoadFromFile(Path("missing")));
  EXPECT_FALSE(utils_->LoadFromFile(dir_));  // a directory
  EXPECT_EQ(Walk(*utils_, 0), before);
}

TEST_F(IndexFileTest, AFailedSaveLeavesTheOldFileWhole) {
  utils_->BuildIndex(0);
  utils_->BuildIndex(1);
  const std::string path = Path("i");
  Write(path, std::string(200, 'o'));
  chmod(path.c_str(), 0640);
  // A key too long for its 16-bit length cannot be written.
  table_->Add(std::string(40000, 'k'));
  utils_->BuildIndex(0);
  EXPECT_FALSE(utils_->SaveToFile(path));
  EXPECT_EQ(Read(path), std::string(200, 'o'));
  EXPECT_EQ(Files().size(), 1u);
  EXPECT_FALSE(utils_->SaveToFile(Path("no/such/dir")));

  // A good save replaces the longer file whole and keeps its permissions.
  table_->rows().pop_back();
  utils_->BuildIndex(0);
  EXPECT_TRUE(utils_->SaveToFile(path));
  EXPECT_EQ(Read(path), kBothIndexes);
  struct stat st;
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
}

}  // namespace
}  // namespace kvl
