#include "kvl/config/config_scanner.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kvl/config/internal/config_test_support.h"

namespace kvl {
namespace {

using config_internal::ConfigFiles;
using config_internal::NotificationLog;
using ::testing::ElementsAre;

class ConfigScannerTest : public ::testing::Test {
 protected:
  ConfigScannerTest() { scanner->Connect(log); }

  // Every logical line of `file`, with the section in force after it.
  std::vector<std::string> Lines(const std::string& file) {
    scanner->SetFileName(file);
    std::vector<std::string> out;
    if (!scanner->OpenFile()) return out;
    for (std::string line; !(line = scanner->NextConfigLine()).empty();) {
      out.push_back(line);
    }
    return out;
  }

  ConfigFiles dir;
  Ref<ConfigScanner> scanner = MakeRef<ConfigScanner>();
  Ref<NotificationLog> log = MakeRef<NotificationLog>();
};

TEST_F(ConfigScannerTest, JoinsContinuationsAndSkipsComments) {
  std::string file = dir.MakeFile(
      "a.cfg", "[A]\r\nx=1 _\r\n  y=2\r\n; note\r\n\r\nz=3\tq=4 \r\n");
  EXPECT_THAT(Lines(file), ElementsAre("[A]", "x=1   y=2", "z=3 q=4"));
  scanner->SetReturnComments(true);
  EXPECT_THAT(Lines(file), ElementsAre("[A]", "x=1   y=2", "; note", "z=3 q=4"));
  EXPECT_EQ(scanner->CurrentSection(), "A");
}

TEST_F(ConfigScannerTest, ContinuationRules) {
  // A tab before the mark still continues; a blank line ends a
  // continuation; a comment inside one is skipped even when returned; the
  // mark compares ignoring case.
  scanner->SetReturnComments(true);
  scanner->SetContinuationString(" +X");
  std::string file =
      dir.MakeFile("c.cfg", "a=1\t+x\n;c\nb=2 +X\n\nc=3\n");
  EXPECT_THAT(Lines(file), ElementsAre("a=1    b=2    ", "c=3"));
}

TEST_F(ConfigScannerTest, LineEndsByteOrderMarkAndTabsReadAlike) {
  std::string crlf = dir.MakeFile("crlf.cfg", "[ S ]\r\nk=1 _\r\nj=2\r\n");
  std::string lf = dir.MakeFile("lf.cfg", "\xEF\xBB\xBF[ S ]\nk=1 _\nj=2");
  std::string cr = dir.MakeFile("cr.cfg", "\t[ S ]\rk=1\t_\rj=2\r");
  std::vector<std::string> expected = Lines(crlf);
  EXPECT_THAT(expected, ElementsAre("[ S ]", "k=1   j=2"));
  EXPECT_EQ(Lines(lf), expected);
  EXPECT_EQ(Lines(cr), expected);
  // Each line ends where its own end is, whatever the others use.
  std::string mixed = dir.MakeFile("mixed.cfg", "a=1\rb=2\r\n\nc=3\nd=4\re=5");
  EXPECT_THAT(Lines(mixed), ElementsAre("a=1", "b=2", "c=3", "d=4", "e=5"));
}

TEST_F(ConfigScannerTest, IncludesKeepSectionsPerFile) {
  dir.MakeDir("sub");
  dir.MakeFile("sub/inc.cfg", "w=0\n[C]\nz=3\n");
  std::string main =
      dir.MakeFile("main.cfg", "[ B ]\nx=1\n@include sub/inc.cfg\ny=2\n");
  scanner->SetFileName(main);
  ASSERT_TRUE(scanner->OpenFile());
  std::vector<std::string> seen;
  for (std::string line; !(line = scanner->NextConfigLine()).empty();) {
    seen.push_back(line + "|" + scanner->CurrentSection() + "|" +
                   scanner->IncludedFrom() + "|" +
                   (scanner->ReturnedFromInclude() ? "R" : "") +
                   std::to_string(scanner->StartLine()));
  }
  std::string inc = dir.Path("sub/inc.cfg");
  EXPECT_THAT(seen, ElementsAre("[ B ]|B||1", "x=1|B||2", "w=0||" + main + "|1",
                                "[C]|C|" + main + "|2", "z=3|C|" + main + "|3",
                                // back in main: its section, its line number
                                "y=2|B||R4"));
  EXPECT_TRUE(log->lines.empty());
}

TEST_F(ConfigScannerTest, MissingIncludeReportsTwiceAndReadingGoesOn) {
  std::string main = dir.MakeFile("m.cfg", "a=1\n\n@Include nope.cfg\nb=2\n");
  EXPECT_THAT(Lines(main), ElementsAre("a=1", "b=2"));
  EXPECT_THAT(log->lines,
              ElementsAre("ScanError -1 OpenFile:Exception: No such file or "
                          "directory",
                          "ScanError 3 IncludeFileFromDirective:Can't open: " +
                              dir.Path("nope.cfg")));
  // The file being read keeps its own name.
  log->lines.clear();
  scanner->SetFileName("");
  EXPECT_FALSE(scanner->OpenFile());
  EXPECT_THAT(log->lines,
              ElementsAre("ScanError -1 OpenFile:No filename specified"));
}

TEST_F(ConfigScannerTest, CycleIsReadUntilTheTwelfthFileIsRefused) {
  dir.MakeFile("a.cfg", "a\n@Include b.cfg\n");
  dir.MakeFile("b.cfg", "b\n@Include a.cfg\n");
  std::vector<std::string> lines = Lines(dir.Path("a.cfg"));
  EXPECT_EQ(lines.size(), 11u);  // one line per open file
  ASSERT_EQ(log->lines.size(), 2u);
  EXPECT_THAT(log->lines[0], ::testing::HasSubstr("OpenFile:Exception: Too many"));
  EXPECT_EQ(log->lines[1],
            "ScanError 2 IncludeFileFromDirective:Can't open: " + dir.Path("b.cfg"));
}

TEST_F(ConfigScannerTest, ItemsParseOrReportTheirLines) {
  std::string file =
      dir.MakeFile("p.cfg", "[A]\nEv N=5\n=5\n=1 _\n2\n; c\n");
  scanner->SetFileName(file);
  ASSERT_TRUE(scanner->OpenFile());
  EXPECT_EQ(scanner->NextConfigItem(), nullptr);  // header
  Ref<ParamString> ps = scanner->NextConfigItem();
  ASSERT_TRUE(ps);
  EXPECT_EQ(ToText(ps->Value("N")), "5");
  EXPECT_EQ(scanner->NextConfigItem(), nullptr);
  EXPECT_EQ(scanner->NextConfigItem(), nullptr);
  EXPECT_EQ(scanner->NextConfigItem(), nullptr);
  EXPECT_TRUE(scanner->EndOfInput());
  EXPECT_THAT(
      log->lines,
      ElementsAre("ScanError 3 NextConfigItem:NextConfigItem: Can't parse Line "
                  "3 :Expected identifier or string at token 1:<=>",
                  ::testing::StartsWith("ScanError 4 NextConfigItem:NextConfigItem: "
                                        "Can't parse Lines 4 ... 5 :")));
}

TEST_F(ConfigScannerTest, ProgressFollowsEveryLogicalLine) {
  std::string file = dir.MakeFile("r.cfg", "a=1\nb=2\n");  // 8 bytes
  Lines(file);
  EXPECT_EQ(log->progress, 3);  // two lines and the end
  EXPECT_DOUBLE_EQ(log->last_ratio, 9.0 / 8.0);
  log->progress = 0;
  Lines(dir.MakeFile("empty.cfg", ""));
  EXPECT_EQ(log->progress, 1);
  EXPECT_DOUBLE_EQ(log->last_ratio, 1.0);
}

TEST_F(ConfigScannerTest, SeekSectionAndLineTests) {
  std::string file = dir.MakeFile("s.cfg", "[A]\nx=1\n[Motion]\ny=2\n");
  scanner->SetFileName(file);
  EXPECT_TRUE(scanner->SeekSection("motion"));
  EXPECT_FALSE(scanner->IsOpen());  // opened for the search, closed again
  ASSERT_TRUE(scanner->OpenFile());
  EXPECT_FALSE(scanner->SeekSection("Nope"));
  EXPECT_TRUE(scanner->SeekSection("A"));
  EXPECT_EQ(scanner->NextConfigLine(), "x=1");

  EXPECT_TRUE(scanner->IsInclude("\t@INCLUDES x"));
  EXPECT_TRUE(scanner->IsComment("  ; c"));
  EXPECT_TRUE(scanner->IsContinued("a\t_"));
  EXPECT_FALSE(scanner->IsContinued("a_"));
  EXPECT_EQ(scanner->SectionNameOf(" [ Motion ] "), "Motion");
  EXPECT_EQ(scanner->SectionNameOf("[x"), "");
}

}  // namespace
}  // namespace kvl
