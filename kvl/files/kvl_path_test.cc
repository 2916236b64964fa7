#include "kvl/files/kvl_path.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <string>
#include <thread>
#include <vector>

#include "kvl/files/internal/file_system.h"
#include "kvl/files/internal/scoped_temp_dir.h"
#include "kvl/frame/catalogue.h"
#include "kvl/frame/library.h"
#include "kvl/runtime/variant_convert.h"

namespace kvl {
namespace {

using files_internal::CurrentDirectory;
using files_internal::ScopedTempDir;

KVLPath& P() {
  return InternalInstance<KVLPath>();
}

TEST(KVLPathTest, SplitsPathsOfBothGrammars) {
  struct {
    const char *s, *dir, *file, *base, *ext, *drive, *parent;
  } const cases[] = {
      {R"(C:\dir\file.txt)", R"(C:\dir)", "file.txt", "file", "txt",
       "C:", "C:"},
      {R"(C:\dir\)", "C:", R"(dir\)", R"(dir\)", "", "C:", ""},
      {"C:file", "C:", "file", "file", "", "C:", ""},
      {R"(\x)", R"(\)", "x", "x", "", "", ""},
      {"file.", ".", "file.", "file.", "", "", ""},
      {R"(\\srv\share\f.txt)", R"(\\srv\share)", "f.txt", "f", "txt", "",
       R"(\\srv)"},
      {"/etc/app/main.cfg", "/etc/app", "main.cfg", "main", "cfg", "", "/etc"},
      {"/etc/app/", "/etc", "app/", "app/", "", "", "/"},
      {"/etc", "/", "etc", "etc", "", "", ""},
      {"/", "/", "/", "/", "", "", ""},
      {"/home/u/.profile", "/home/u", ".profile", ".profile", "", "", "/home"},
      {"/data/12:30.log", "/data", "12:30.log", "12:30", "log", "", "/"},
      {R"(C:/dir\x.tar.gz)", "C:/dir", "x.tar.gz", "x.tar", "gz", "C:", "C:"},
      {"", "", "", "", "", "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.s);
    EXPECT_EQ(P().DirPart(c.s), c.dir);
    EXPECT_EQ(P().FilePart(c.s), c.file);
    EXPECT_EQ(P().BaseName(c.s), c.base);
    EXPECT_EQ(P().Extension(c.s), c.ext);
    EXPECT_EQ(P().DrivePart(c.s), c.drive);
    EXPECT_EQ(P().ParentDir(c.s), c.parent);
  }
}

TEST(KVLPathTest, ComponentsAndRelativeness) {
  auto components = [](std::string path) {
    std::vector<std::string> out;
    for (; !path.empty(); path = P().StripFirstPathComponent(path))
      out.push_back(P().FirstPathComponent(path));
    return out;
  };
  using V = std::vector<std::string>;
  EXPECT_EQ(components(R"(C:\a\b.txt)"), (V{"C:", R"(\)", R"(a\)", "b.txt"}));
  EXPECT_EQ(components("/etc/app/"), (V{"/", "etc/", "app/"}));
  EXPECT_EQ(components(R"(a\b)"), (V{R"(a\)", "b"}));
  EXPECT_EQ(P().FirstPathComponent(""), "");

  for (const char* rel : {"", "C:x", R"(x\y)", R"(.\x)", "../x", "a:b", ".rc"})
    EXPECT_TRUE(P().IsRelPath(rel)) << rel;
  for (const char* abs : {R"(\\srv\share)", R"(C:\x)", R"(\x)", "/etc", "C:/x"})
    EXPECT_FALSE(P().IsRelPath(abs)) << abs;
}

struct PathPair {
  const char *path, *base, *expected;
};

TEST(KVLPathTest, RelPathToAbsPath) {
  const PathPair cases[] = {
      {R"(..\b)", R"(C:\x\y)", R"(C:\x\b)"},
      {R"(C:\z)", "/etc", R"(C:\z)"},
      {R"(..\..\..\b)", R"(C:\x)", R"(C:\b)"},
      {"C:b", R"(C:\x)", R"(C:\x\b)"},
      {"x", "C:", R"(C:\x)"},
      {"sub/inc.cfg", R"(C:\app)", R"(C:\app\sub\inc.cfg)"},
      {"sub.cfg", "/etc/app", "/etc/app/sub.cfg"},
      {R"(sub\inc.cfg)", "/etc/app", "/etc/app/sub/inc.cfg"},
      {"../inc/x.cfg", "/etc/app", "/etc/inc/x.cfg"},
      {"./a/.//b/", "/etc/", "/etc/a/b/"},
      {"../../../x", "/etc/app", "/x"},
      {"..", "/etc/app/", "/etc"},
      {"/abs/x", "/etc", "/abs/x"},
  };
  for (const PathPair& c : cases)
    EXPECT_EQ(P().RelPathToAbsPath(c.path, c.base), c.expected) << c.path;

  // The current directory stands in for a missing base and for another
  // drive's current directory; it is never changed.
  const std::string cwd = CurrentDirectory();
  EXPECT_EQ(P().RelPathToAbsPath("x.cfg", ""), cwd + "/x.cfg");
  EXPECT_EQ(P().RelPathToAbsPath("D:x", R"(C:\a)"), cwd + "/x");
  EXPECT_EQ(CurrentDirectory(), cwd);
}

TEST(KVLPathTest, AbsPathToRelPath) {
  const PathPair cases[] = {
      {R"(D:\a)", R"(C:\a)", R"(D:\a)"},
      {R"(C:\a\b\c.txt)", R"(C:\a\)", R"(b\c.txt)"},
      {R"(C:\a\c\f.txt)", R"(C:\a\b)", R"(..\c\f.txt)"},
      {R"(c:\A\b\c.txt)", R"(C:\a)", R"(b\c.txt)"},
      {R"(C:\a)", R"(C:\a\b\c)", R"(..\..\)"},
      {R"(C:\a\b)", R"(C:\a\b)", ""},
      {"/etc/app/sub/x.cfg", "/etc/app", "sub/x.cfg"},
      {"/etc/x", "/usr/y", "../../etc/x"},
      {"/data/Logs/x", "/data/logs", "../Logs/x"},
      {"rel/x", "/etc", "rel/x"},
  };
  for (const PathPair& c : cases)
    EXPECT_EQ(P().AbsPathToRelPath(c.path, c.base), c.expected) << c.path;
}

TEST(KVLPathTest, PathAbbreviationKeepsFilePartAndWidth) {
  const std::string s = R"(C:\Program Files\Common\Vendor\file.txt)";
  const int16_t len = static_cast<int16_t>(s.size());
  EXPECT_EQ(P().PathAbbreviation(s, 20), R"(C:\Progr...\file.txt)");
  EXPECT_EQ(P().PathAbbreviation(s, -3), P().PathAbbreviation(s, 20));
  EXPECT_EQ(P().PathAbbreviation(s, len + 1), s);
  EXPECT_EQ(P().PathAbbreviation(s, len),
            R"(C:\Program Files\Common\Ven...\file.txt)");
  const std::string f30(30, 'f');  // a long file part widens the result
  EXPECT_EQ(P().PathAbbreviation("/var/lib/a/" + f30, 20), "/var/l.../" + f30);
  const std::string e = "\xC3\xA9";  // two bytes: never split
  EXPECT_EQ(P().PathAbbreviation("/hh" + e + e + e + "/x/y/z/file.cfg", 20),
            "/hh" + e + e + ".../file.cfg");
}

TEST(KVLPathTest, ShortAndLongNames) {
  ScopedTempDir dir;
  const std::string file = dir.MakeFile("PROGRA~1", "");
  EXPECT_TRUE(P().IsShortFileName(file));
  EXPECT_FALSE(P().IsShortFileName("a~b~1"));
  EXPECT_EQ(P().AsShortFilename(file), file);
  EXPECT_EQ(P().AsShortFilename(dir.Path("missing")), "");
  EXPECT_EQ(P().AsLongFileName(file), file);
  EXPECT_EQ(P().AsLongFileName("C:a"), R"(C:\a)");
}

class SearchPathTest : public ::testing::Test {
 protected:
  void SetUp() override { P().ClearSearchPaths(); }
  void TearDown() override { P().ClearSearchPaths(); }
  ScopedTempDir dir_;
};

TEST_F(SearchPathTest, AddsExistingDirectoriesOnce) {
  const std::string a = dir_.MakeDir("a");
  const std::string upper = dir_.MakeDir("A");
  EXPECT_TRUE(P().AddSearchPath(a));
  EXPECT_FALSE(P().AddSearchPath(a));
  EXPECT_FALSE(P().AddSearchPath(dir_.path() + R"(\A)"));  // DOS-style: same
  EXPECT_TRUE(P().AddSearchPath(upper));  // another directory on Linux
  EXPECT_FALSE(P().AddSearchPath(dir_.MakeFile("f.txt", "")));
  EXPECT_FALSE(P().AddSearchPath(dir_.Path("missing")));
  EXPECT_EQ(P().SearchPaths(), (std::vector<std::string>{a, upper}));
  EXPECT_TRUE(P().RemoveSearchPath(a));
  EXPECT_FALSE(P().RemoveSearchPath(a));

  struct stat st;
  const bool has_lib = stat("/usr/lib", &st) == 0 && S_ISDIR(st.st_mode);
  EXPECT_EQ(P().AddSystemDirectoryToSearchPath(), has_lib);
  EXPECT_FALSE(P().AddSystemDirectoryToSearchPath());
  std::thread([] { EXPECT_TRUE(P().SearchPaths().empty()); }).join();
}

TEST_F(SearchPathTest, FindsTheFirstDirectoryHoldingTheFile) {
  const std::string one = dir_.MakeDir("one");
  dir_.MakeDir("two/sub");
  const std::string two = dir_.Path("two/");
  for (const char* f : {"two/only", "one/both", "two/both", "two/sub/inc"})
    dir_.MakeFile(f, "");
  ASSERT_TRUE(P().AddSearchPath(one));
  ASSERT_TRUE(P().AddSearchPath(two));
  EXPECT_EQ(P().FindFileInSearchPath("only"), two + "only");
  EXPECT_EQ(P().FindFileInSearchPath("both"), one + "/both");
  EXPECT_EQ(P().FindFileInSearchPath(R"(sub\inc)"), two + "sub/inc");
  EXPECT_EQ(P().FindFileInSearchPath("none"), "");
  EXPECT_EQ(P().FindFileInSearchPath(""), "");
}

TEST(KVLPathTest, GetFullPathAndItsPositions) {
  struct {
    const char *name, *full;
    int32_t file, ext, dir;
  } const cases[] = {
      {"/etc/app/../x.cfg", "/etc/x.cfg", 6, 7, 1},
      {"//etc/./x", "/etc/x", 6, 7, 1},
      {"/a//b/", "/a/b/", 6, 6, 1},
      {"/home/u/.profile", "/home/u/.profile", 9, 17, 1},
      {"/..", "/", 2, 2, 1},
      {R"(C:\a\.\b\..\c.txt)", R"(C:\a\c.txt)", 6, 7, 3},
      {R"(\\srv\share\d\..\f.txt)", R"(\\srv\share\f.txt)", 13, 14, 12},
      {R"(\\srv)", R"(\\srv)", 3, 6, -1},
      {"", "", -1, -1, -1},
  };
  for (const auto& c : cases) {
    int32_t f = -1, e = -1, d = -1;
    EXPECT_EQ(P().GetFullPath(c.name, f, e, d), c.full);
    EXPECT_EQ(std::vector<int32_t>({f, e, d}),
              std::vector<int32_t>({c.file, c.ext, c.dir}))
        << c.name;
  }
  const std::string cwd = CurrentDirectory() == "/" ? "" : CurrentDirectory();
  EXPECT_EQ(P().GetFullPath(R"(C:sub\x)"), cwd + "/sub/x");
  EXPECT_EQ(P().GetFullPath("/" + std::string(5000, 'a')), "");
}

TEST(KVLPathTest, TemporaryFilesAreNewAndPrivate) {
  ScopedTempDir dir;
  const char* old = getenv("TMPDIR");
  const std::string saved = old ? old : "";
  setenv("TMPDIR", dir.path().c_str(), 1);
  EXPECT_EQ(P().GetTempDir(), dir.path() + "/");
  std::string where;
  const std::string a = P().GetTempFile("kvl", where);
  const std::string b = P().GetTempFile("kvl");
  old ? setenv("TMPDIR", saved.c_str(), 1) : unsetenv("TMPDIR");

  EXPECT_EQ(where, dir.path() + "/");
  EXPECT_NE(a, b);
  EXPECT_EQ(a.substr(0, a.size() - 6), dir.path() + "/kvl");
  struct stat st {};
  stat(a.c_str(), &st);
  EXPECT_EQ(st.st_mode & 0777, 0600u);  // a new, empty, private file
  EXPECT_EQ(st.st_size, 0);
  std::string missing = dir.Path("missing");
  EXPECT_EQ(P().GetTempFile("x", missing), "");
  EXPECT_EQ(P().GetTempFile(R"(a\b)", where), "");
}

TEST(KVLPathTest, GlobalAndLateBound) {
  Ref<Object> path = GlobalObject("KVLCommon.KVLPath");
  const int64_t live = Object::LiveCount();
  EXPECT_EQ(path->Class().kind(), ClassKind::kGlobal);
  EXPECT_EQ(ToText(CallByName(*path, "dirpart", CallKind::kMethod,
                              "/etc/app/main.cfg")),
            "/etc/app");
  Variant args[] = {Variant("/etc/x.cfg"), Variant(), Variant(), Variant()};
  EXPECT_EQ(ToText(path->Invoke("GetFullPath", CallKind::kMethod, args)),
            "/etc/x.cfg");
  EXPECT_EQ(args[1], Variant(int32_t{6}));
  EXPECT_EQ(args[3], Variant(int32_t{1}));
  EXPECT_EQ(ToText(CallByName(*path, "GetFullPath", CallKind::kMethod, "/e")),
            "/e");  // the positions are optional
  EXPECT_EQ(Object::LiveCount(), live);

  std::string names;
  for (const MemberInfo& m : KVLPath::StaticClass().members())
    names += m.name + " ";
  EXPECT_EQ(names,
            "DirPart ParentDir BaseName FilePart Extension DrivePart "
            "PathAbbreviation FirstPathComponent StripFirstPathComponent "
            "IsRelPath RelPathToAbsPath AbsPathToRelPath IsShortFileName "
            "AsShortFilename AsLongFileName AddSearchPath FindSystemDirectory "
            "AddSystemDirectoryToSearchPath RemoveSearchPath ClearSearchPaths "
            "FindFileInSearchPath GetFullPath GetTempFile GetTempDir ");
}

}  // namespace
}  // namespace kvl
