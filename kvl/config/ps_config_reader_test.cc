#include "kvl/config/ps_config_reader.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "kvl/config/internal/config_test_support.h"
#include "kvl/frame/library.h"
#include "kvl/runtime/replace_file.h"
#include "kvl/runtime/message_loop.h"
#include "kvl/runtime/test_support.h"

namespace kvl {
namespace {

using config_internal::ConfigFiles;
using config_internal::NotificationLog;
using ::testing::ElementsAre;

class PSConfigReaderTest : public ::testing::Test {
 protected:
  PSConfigReaderTest() { reader->Connect(log); }

  // The items of section `name` as one-line texts without the blank that
  // stands for an empty command (a text item as "text:...").
  std::vector<std::string> Items(const std::string& name) {
    std::vector<std::string> out;
    Ref<ConfigSection> s = reader->FindSection(name);
    if (!s) return {"<none>"};
    for (const Variant& v : s->items()) {
      out.push_back(v.is_string() ? "text:" + v.AsString()
                                  : Trimmed(ObjectFromVariant<ParamString>(v)->ToString()));
    }
    return out;
  }
  static std::string Trimmed(std::string s) {
    return s.starts_with(' ') ? s.substr(1) : s;
  }
  std::vector<std::string> SectionNames() {
    std::vector<std::string> out;
    for (std::string n = reader->FirstSectionName(); !n.empty();
         n = reader->NextSectionName()) {
      out.push_back(n);
    }
    return out;
  }
  Ref<ParamString> Parsed(const std::string& text) {
    auto ps = MakeRef<ParamString>();
    EXPECT_TRUE(ps->Parse(text));
    return ps;
  }
  // A main file with an include, loaded.
  void LoadMainWithInclude() {
    dir.MakeFile("sub.cfg", "[B]\r\nz=3\r\n");
    main = dir.MakeFile("main.cfg", "[A]\nx=1\n@Include sub.cfg\ny=2\n");
    ASSERT_TRUE(reader->LoadConfigFile(main));
  }
  std::vector<std::string> FilesInDir() {
    std::vector<std::string> out;
    for (const auto& e : std::filesystem::directory_iterator(dir.path()))
      out.push_back(e.path().filename().string());
    std::sort(out.begin(), out.end());
    return out;
  }

  ConfigFiles dir;
  std::string main;
  Ref<PSConfigReader> reader = MakeRef<PSConfigReader>();
  Ref<NotificationLog> log = MakeRef<NotificationLog>();
};

TEST_F(PSConfigReaderTest, LoadsIncludesIntoSectionsAndSavesEachFile) {
  LoadMainWithInclude();
  EXPECT_THAT(SectionNames(), ElementsAre("A", "B"));
  EXPECT_THAT(Items("a"), ElementsAre("x=1", "y=2"));
  EXPECT_THAT(Items("B"), ElementsAre("z=3"));
  Ref<ConfigSection> b = reader->FindSection("B");
  EXPECT_TRUE(b->WasIncluded());
  EXPECT_EQ(b->FileName(), dir.Path("sub.cfg"));
  EXPECT_EQ(b->IncludedFrom(), main);
  EXPECT_FALSE(reader->FindSection("A")->WasIncluded());
  EXPECT_EQ(reader->ConfigFile(), main);
  EXPECT_FALSE(reader->Modified());

  ASSERT_TRUE(reader->SaveConfigFile(""));
  EXPECT_EQ(ConfigFiles::Read(main),
            "[A]\r\n    x=1\r\n    y=2\r\n@Include " + dir.Path("sub.cfg") + "\r\n");
  EXPECT_EQ(ConfigFiles::Read(dir.Path("sub.cfg")), "[B]\r\n    z=3\r\n");
  EXPECT_THAT(FilesInDir(), ElementsAre("main.cfg", "sub.cfg"));

  // The saved form loads back to the same configuration.
  ASSERT_TRUE(reader->LoadConfigFile(main));
  EXPECT_THAT(Items("A"), ElementsAre("x=1", "y=2"));
  EXPECT_THAT(Items("B"), ElementsAre("z=3"));
}

TEST_F(PSConfigReaderTest, SectionsAcrossFiles) {
  // Items of an included file before its first header join the including
  // file's section; a header in two files gathers both and belongs to the
  // later file; a comment before any header makes no section.
  dir.MakeFile("inc.cfg", "w=0\n[A]\nv=9\n[C]\nc=1\n");
  main = dir.MakeFile("m.cfg",
                      "; top\nlost=1\n[A]\nx=1\n@Include inc.cfg\ny=2\n[A]\nu=5\n");
  reader->SetReturnComments(true);
  ASSERT_TRUE(reader->LoadConfigFile(main));
  EXPECT_THAT(SectionNames(), ElementsAre("A", "C"));
  EXPECT_THAT(Items("A"), ElementsAre("x=1", "w=0", "v=9", "y=2", "u=5"));
  EXPECT_THAT(Items("C"), ElementsAre("c=1"));
  EXPECT_EQ(reader->FindSection("A")->FileName(), main);
  EXPECT_FALSE(reader->FindSection("A")->WasIncluded());
  ASSERT_TRUE(reader->SaveConfigFile(""));
  EXPECT_EQ(ConfigFiles::Read(main),
            "[A]\r\n    x=1\r\n    w=0\r\n    v=9\r\n    y=2\r\n    u=5\r\n"
            "@Include " +
                dir.Path("inc.cfg") + "\r\n");
}

TEST_F(PSConfigReaderTest, LazyItemsParseOnFirstAccess) {
  reader->SetLazyEvaluation(true);
  main = dir.MakeFile("l.cfg", "[A]\nEv N=5\n=bad\n; c\n");
  ASSERT_TRUE(reader->LoadConfigFile(main));
  EXPECT_THAT(Items("A"), ElementsAre("text:Ev N=5", "text:=bad"));
  EXPECT_EQ(reader->FindSection("A")->Item(1), nullptr);  // not asked yet
  Ref<Object> first = reader->SectionItem("a", 1);
  ASSERT_TRUE(first);
  EXPECT_EQ(reader->FindSection("A")->Item(1).get(), first.get());
  EXPECT_EQ(reader->SectionItem("A", 2), nullptr);
  EXPECT_THAT(log->lines, ElementsAre("ScanError 2 Expected identifier or "
                                      "string at token 1:<=>"));
  EXPECT_THAT(Items("A"), ElementsAre("Ev N=5", "text:=bad"));
  EXPECT_EQ(reader->SectionItem("A", 3), nullptr);
  EXPECT_EQ(reader->SectionItem("Z", 1), nullptr);
  // A text never parsed is saved as it was read.
  ASSERT_TRUE(reader->SaveConfigFile(""));
  EXPECT_EQ(ConfigFiles::Read(main), "[A]\r\nEv  _\r\n   N=5\r\n=bad\r\n");
}

TEST_F(PSConfigReaderTest, EditsNotifyAndSetModified) {
  EXPECT_TRUE(reader->AddItem("New", Parsed("k=1")));
  EXPECT_TRUE(reader->Modified());
  EXPECT_FALSE(reader->AddSection("new"));
  EXPECT_TRUE(reader->AddItem("NEW", Parsed("k=2")));
  EXPECT_TRUE(reader->DeleteItem("new", 1));
  EXPECT_FALSE(reader->DeleteItem("new", 2));
  EXPECT_TRUE(reader->AddSection("Other"));
  EXPECT_TRUE(reader->DeleteSection("new"));
  EXPECT_FALSE(reader->DeleteSection("new"));
  EXPECT_THAT(log->lines,
              ElementsAre("Updated 0 New -1", "Updated 2 New 1",
                          "Updated 2 NEW 2", "Updated 3 new 1",
                          "Updated 0 Other -1", "Updated 1 new -1"));
  EXPECT_THAT(SectionNames(), ElementsAre("Other"));
  reader->ClearContents();
  EXPECT_THAT(SectionNames(), ElementsAre());
  EXPECT_TRUE(reader->Modified());
}

TEST_F(PSConfigReaderTest, SectionItemByNameStopsAtItemsWithoutName) {
  main = dir.MakeFile("n.cfg", "[A]\nSpeed=5\n Mode = 'fast'\nFlag\nLate=1\n");
  ASSERT_TRUE(reader->LoadConfigFile(main));
  Ref<Object> mode = reader->SectionItemByName("a", "MODE");
  ASSERT_TRUE(mode);
  EXPECT_EQ(static_cast<ParamString*>(mode.get())->ToString(), " Mode=fast");
  EXPECT_EQ(reader->SectionItemByName("A", "Late"), nullptr);  // after Flag
  EXPECT_EQ(reader->SectionItemByName("B", "Speed"), nullptr);
}

TEST_F(PSConfigReaderTest, FailedLoadAndUnparsableLines) {
  EXPECT_FALSE(reader->LoadConfigFile(dir.Path("missing.cfg")));
  EXPECT_THAT(log->lines,
              ElementsAre(::testing::StartsWith("ScanError -1 OpenFile:Exception: "),
                          "ScanError -1 " + dir.Path("missing.cfg") + ": Can't open"));
  log->lines.clear();
  main = dir.MakeFile("u.cfg", "[A]\nx=1\n=oops\ny=2\n");
  ASSERT_TRUE(reader->LoadConfigFile(main));
  EXPECT_THAT(Items("A"), ElementsAre("x=1", "y=2"));
  ASSERT_EQ(log->lines.size(), 1u);
}

TEST_F(PSConfigReaderTest, EagerLoadLetsTheMessageLoopRun) {
  main = dir.MakeFile("e.cfg", "[A]\nx=1\ny=2\n");
  std::vector<size_t> seen;
  MessageLoop& loop = MessageLoop::Current();
  // A task that looks at the load in progress and posts itself again.
  std::function<void()> peek = [&] {
    Ref<ConfigSection> a = reader->FindSection("A");
    seen.push_back(a ? a->items().size() : 0);
    if (seen.size() < 10) loop.Post(peek);
  };
  loop.Post(peek);
  ASSERT_TRUE(reader->LoadConfigFile(main));
  EXPECT_THAT(seen, ElementsAre(0, 0, 1, 2));  // before each item and the end
  while (loop.Pump() > 0) {
  }
}

// ---- saving without losing anything ------------------------------------------

TEST_F(PSConfigReaderTest, SaveUnderANewNameMovesTheIncludes) {
  LoadMainWithInclude();
  std::string copy = dir.Path("copy.cfg");
  ASSERT_TRUE(reader->SaveConfigFile(copy));
  EXPECT_EQ(ConfigFiles::Read(copy),
            "[A]\r\n    x=1\r\n    y=2\r\n@Include " + dir.Path("sub.cfg") + "\r\n");
  EXPECT_EQ(reader->FindSection("B")->IncludedFrom(), copy);
  EXPECT_EQ(reader->ConfigFile(), main);  // the name last loaded
}

TEST_F(PSConfigReaderTest, SaveWritesThroughASymbolicLinkAndKeepsPermissions) {
  dir.MakeDir("real");
  std::string target = dir.MakeFile("real/app.cfg", "[A]\nx=1\n");
  chmod(target.c_str(), 0640);
  std::string link = dir.Path("app.cfg");
  ASSERT_EQ(symlink("real/app.cfg", link.c_str()), 0);
  ASSERT_TRUE(reader->LoadConfigFile(link));
  reader->AddItem("A", Parsed("y=2"));
  ASSERT_TRUE(reader->SaveConfigFile(""));
  struct stat st;
  ASSERT_EQ(lstat(link.c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  ASSERT_EQ(stat(target.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_EQ(ConfigFiles::Read(target), "[A]\r\n    x=1\r\n    y=2\r\n");
  EXPECT_THAT(FilesInDir(), ElementsAre("app.cfg", "real"));
  EXPECT_FALSE(reader->Modified());
}

TEST_F(PSConfigReaderTest, FailedWritesLeaveTheOldFilesWhole) {
  LoadMainWithInclude();
  reader->AddItem("A", Parsed("added=1"));
  reader->AddItem("B", Parsed("added=2"));
  log->lines.clear();
  const std::string old_main = ConfigFiles::Read(main);
  const std::string old_sub = ConfigFiles::Read(dir.Path("sub.cfg"));
  {
    ScopedWriteFault fault(0, true);  // every rename fails
    EXPECT_FALSE(reader->SaveConfigFile(""));
  }
  EXPECT_EQ(ConfigFiles::Read(main), old_main);
  EXPECT_EQ(ConfigFiles::Read(dir.Path("sub.cfg")), old_sub);
  EXPECT_THAT(log->lines,
              ElementsAre("ScanError -1 SaveConfigTo(" + main +
                              ") Exception: Input/output error",
                          "ScanError -1 SaveConfigTo(" + dir.Path("sub.cfg") +
                              ") Exception: Input/output error"));
  log->lines.clear();
  {
    ScopedWriteFault fault(2, false);  // the included file's write
    EXPECT_FALSE(reader->SaveConfigFile(""));
  }
  EXPECT_NE(ConfigFiles::Read(main), old_main);
  EXPECT_EQ(ConfigFiles::Read(dir.Path("sub.cfg")), old_sub);
  EXPECT_THAT(log->lines,
              ElementsAre("ScanError -1 SaveConfigTo(" + dir.Path("sub.cfg") +
                          ") Exception: No space left on device"));
  EXPECT_THAT(FilesInDir(), ElementsAre("main.cfg", "sub.cfg"));
  EXPECT_TRUE(reader->Modified());

  ASSERT_TRUE(reader->SaveConfigFile(""));
  EXPECT_EQ(ConfigFiles::Read(dir.Path("sub.cfg")),
            "[B]\r\n    z=3\r\n    added=2\r\n");
}

TEST_F(PSConfigReaderTest, SaveIntoADirectoryThatIsNotWritable) {
  dir.MakeDir("ro");
  std::string file = dir.MakeFile("ro/x.cfg", "[A]\nx=1\n");
  ASSERT_TRUE(reader->LoadConfigFile(file));
  reader->AddItem("A", Parsed("y=2"));
  log->lines.clear();
  chmod(dir.Path("ro").c_str(), 0555);
  // A privileged process writes anyway; a directory of /proc refuses it.
  std::string target = access(dir.Path("ro").c_str(), W_OK) == 0
                           ? std::string("/proc/kvl_config_test.cfg")
                           : file;
  EXPECT_FALSE(reader->SaveConfigFile(target));
  chmod(dir.Path("ro").c_str(), 0755);
  ASSERT_EQ(log->lines.size(), 1u) << ::testing::PrintToString(log->lines);
  EXPECT_THAT(log->lines[0],
              ::testing::StartsWith("ScanError -1 SaveConfigTo(" + target +
                                    ") Exception: "));
  EXPECT_EQ(ConfigFiles::Read(file), "[A]\nx=1\n");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path("ro")),
                          std::filesystem::directory_iterator()),
            1);
}

TEST_F(PSConfigReaderTest, NothingLeaks) {
  StartLibrary();  // the library's own objects are not the test's
  LiveObjectCheck leaks;
  {
    auto r = MakeRef<PSConfigReader>();
    r->Connect(MakeRef<NotificationLog>());
    dir.MakeFile("sub.cfg", "[B]\nz=3\n");
    r->SetLazyEvaluation(true);
    r->LoadConfigFile(dir.MakeFile("k.cfg", "[A]\nx=1\n@Include sub.cfg\n"));
    r->SectionItem("A", 1);
  }
  EXPECT_EQ(leaks.Delta(), 0);
}

}  // namespace
}  // namespace kvl
