#include "kvl/runtime/atomic_file.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace kvl {
namespace {

class AtomicFileTest : public ::testing::Test {
 protected:
  AtomicFileTest() {
    char pattern[] = "/tmp/kvl_atomic_XXXXXX";
    dir_ = mkdtemp(pattern);
  }
  ~AtomicFileTest() override { std::filesystem::remove_all(dir_); }

  std::string Path(const std::string& name) const { return dir_ + "/" + name; }
  static std::string Read(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  size_t Entries() const {
    return static_cast<size_t>(
        std::distance(std::filesystem::directory_iterator(dir_), {}));
  }

  std::string dir_;
};

TEST_F(AtomicFileTest, NewFilesTakeTheModeLessTheUmask) {
  mode_t old_mask = umask(022);
  ASSERT_TRUE(WriteFileAtomically(Path("a"), "x"));
  ASSERT_TRUE(WriteFileAtomically(Path("b"), "y", nullptr, 0600));
  umask(old_mask);
  struct stat st;
  ASSERT_EQ(stat(Path("a").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0644u);
  ASSERT_EQ(stat(Path("b").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_EQ(Read(Path("a")), "x");
}

TEST_F(AtomicFileTest, LinksAreFollowedToTheFileTheyName) {
  // A dangling link makes the file it names; a chain of links is followed.
  ASSERT_EQ(symlink("target", Path("link1").c_str()), 0);
  ASSERT_EQ(symlink(Path("link1").c_str(), Path("link2").c_str()), 0);
  ASSERT_TRUE(WriteFileAtomically(Path("link2"), "through"));
  EXPECT_EQ(Read(Path("target")), "through");
  EXPECT_TRUE(std::filesystem::is_symlink(Path("link1")));
  // A loop of links is refused.
  ASSERT_EQ(symlink("loop_b", Path("loop_a").c_str()), 0);
  ASSERT_EQ(symlink("loop_a", Path("loop_b").c_str()), 0);
  std::string error;
  EXPECT_FALSE(WriteFileAtomically(Path("loop_a"), "x", &error));
  EXPECT_EQ(error, "Too many levels of symbolic links");
}

TEST_F(AtomicFileTest, FailuresLeaveNothingBehind) {
  std::filesystem::create_directory(Path("sub"));
  std::string error;
  EXPECT_FALSE(WriteFileAtomically(Path("sub"), "x", &error));
  EXPECT_EQ(error, "Is a directory");
  EXPECT_FALSE(WriteFileAtomically(Path("missing/f"), "x", &error));
  EXPECT_EQ(error, "No such file or directory");
  ASSERT_TRUE(WriteFileAtomically(Path("f"), "old"));
  {
    // A large text is written in pieces; the third piece fails.
    ScopedWriteFault fault(3, false);
    EXPECT_FALSE(WriteFileAtomically(Path("f"), std::string(300000, 'n')));
  }
  EXPECT_EQ(Read(Path("f")), "old");
  EXPECT_EQ(Entries(), 2u);  // sub and f
}

}  // namespace
}  // namespace kvl
