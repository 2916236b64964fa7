#include "kvl/runtime/replace_file.h"

#include <errno.h>
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

class ReplaceFileTest : public ::testing::Test {
 protected:
  ReplaceFileTest() {
    char pattern[] = "/tmp/kvl_replace_XXXXXX";
    dir_ = mkdtemp(pattern);
  }
  ~ReplaceFileTest() override { std::filesystem::remove_all(dir_); }

  std::string Path(const std::string& name) const { return dir_ + "/" + name; }
  static std::string Read(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  size_t Entries() const {
    return static_cast<size_t>(
        std::distance(std::filesystem::directory_iterator(dir_), {}));
  }

  // Replaces `name` by `text`; the error number, 0 on success.
  int Write(const std::string& name, const std::string& text,
            mode_t mode = 0666) {
    return ReplaceFile(
        Path(name), [&](int fd) { return WriteAll(fd, text); }, mode);
  }

  std::string dir_;
};

TEST_F(ReplaceFileTest, NewFilesTakeTheModeLessTheUmask) {
  mode_t old_mask = umask(022);
  ASSERT_EQ(Write("a", "x"), 0);
  ASSERT_EQ(Write("b", "y", 0600), 0);
  umask(old_mask);
  struct stat st;
  ASSERT_EQ(stat(Path("a").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0644u);
  ASSERT_EQ(stat(Path("b").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_EQ(Read(Path("a")), "x");
}

TEST_F(ReplaceFileTest, LinksAreFollowedToTheFileTheyName) {
  // A dangling link makes the file it names; a chain of links is followed.
  ASSERT_EQ(symlink("target", Path("link1").c_str()), 0);
  ASSERT_EQ(symlink(Path("link1").c_str(), Path("link2").c_str()), 0);
  ASSERT_EQ(Write("link2", "through"), 0);
  EXPECT_EQ(Read(Path("target")), "through");
  EXPECT_TRUE(std::filesystem::is_symlink(Path("link1")));
  // A loop of links is refused.
  ASSERT_EQ(symlink("loop_b", Path("loop_a").c_str()), 0);
  ASSERT_EQ(symlink("loop_a", Path("loop_b").c_str()), 0);
  EXPECT_EQ(Write("loop_a", "x"), ELOOP);
}

TEST_F(ReplaceFileTest, FailuresLeaveNothingBehind) {
  std::filesystem::create_directory(Path("sub"));
  EXPECT_EQ(Write("sub", "x"), EISDIR);
  EXPECT_EQ(Write("missing/f", "x"), ENOENT);
  ASSERT_EQ(Write("f", "old"), 0);
  {
    // A large text is written in pieces; the third piece fails.
    ScopedWriteFault fault(3, false);
    EXPECT_EQ(Write("f", std::string(3 << 20, 'n')), ENOSPC);
  }
  {
    ScopedWriteFault fault(0, true);
    EXPECT_EQ(Write("f", "new"), EIO);
  }
  EXPECT_EQ(Read(Path("f")), "old");
  EXPECT_EQ(Entries(), 2u);  // sub and f
}

}  // namespace
}  // namespace kvl
