#include "kvl/trace/stream_trace.h"

#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "kvl/frame/library.h"
#include "kvl/runtime/test_support.h"
#include "kvl/trace/testing/trace_recorder.h"

extern char** environ;

namespace kvl {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

// A file name in the test's temporary directory, removed at the end.
class TempFile {
 public:
  explicit TempFile(const std::string& tag)
      : path_(::testing::TempDir() + "kvl_trace_" + tag + "_" +
              std::to_string(::getpid())) {
    std::remove(path_.c_str());
  }
  ~TempFile() { std::remove(path_.c_str()); }
  const std::string& path() const { return path_; }
  Lines ReadLines() const {
    std::ifstream in(path_);
    Lines lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }

 private:
  std::string path_;
};

class StreamTraceTest : public TraceTest {
 protected:
  Ref<KVLStreamTrace> StreamTo(const std::string& path) {
    auto stream = MakeRef<KVLStreamTrace>();
    stream->SetFileName(path);
    trace_->SetTraceMechanismRef(stream);
    trace_->SetTraceFilter(STF_Developer);
    return stream;
  }
};

TEST_F(StreamTraceTest, WritesStampSourceMessageLines) {
  TempFile file("lines");
  auto stream = StreamTo(file.path());
  EXPECT_EQ(stream->FileName(), file.path());
  EXPECT_TRUE(trace_->TraceConnected());
  trace_->Trace(STL_Verbose, "Loader", "reading main.cfg");
  trace_->EnterFunction("Parse");

  // Disconnect closes the file (it may be moved away); the next line
  // opens it again and appends.
  trace_->TraceDisconnect();
  EXPECT_FALSE(trace_->TraceConnected());
  trace_->Trace(STL_Always, "", "after");
  EXPECT_TRUE(trace_->TraceConnected());
  EXPECT_THAT(file.ReadLines(),
              ElementsAre("2024/03/05 07:08:09 Loader   reading main.cfg",
                          "2024/03/05 07:08:09 Parse       Enter Parse",
                          "2024/03/05 07:08:09  after"));
}

TEST_F(StreamTraceTest, FileThatCannotBeOpenedRaisesAndKeepsTheOutput) {
  TempFile file("keep");
  auto stream = StreamTo(file.path());
  EXPECT_EQ(RaisedNumber([&] { stream->SetFileName(file.path() + "/no/x"); }),
            76);
  EXPECT_EQ(RaisedNumber([&] { stream->SetFileName(::testing::TempDir()); }),
            75);  // a directory
  trace_->Trace(STL_Always, "S", "kept");
  EXPECT_EQ(file.ReadLines().size(), 1u);
  EXPECT_EQ(stream->FileName(), file.path());
  stream->SetFileName("");  // standard error from now on
  EXPECT_TRUE(stream->Connected());
  EXPECT_TRUE(stream->Connect());
}

TEST_F(StreamTraceTest, LinesOfManyThreadsNeverMix) {
  TempFile file("threads");
  StreamTo(file.path());
  constexpr int kThreads = 8, kLines = 200;
  const std::string payload(3000, 'x');  // several pipe buffers' worth
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      Ref<KVLTrace> trace = MakeRef<KVLTrace>();
      for (int i = 0; i < kLines; ++i)
        trace->Trace(STL_Verbose, "T" + std::to_string(t),
                     std::to_string(i) + " " + payload);
    });
  }
  for (std::thread& t : threads) t.join();
  const std::regex line(
      "\\d{4}/\\d\\d/\\d\\d \\d\\d:\\d\\d:\\d\\d T\\d   "
      "\\d+ x{3000}");
  const Lines lines = file.ReadLines();
  EXPECT_EQ(lines.size(), static_cast<size_t>(kThreads * kLines));
  for (const std::string& l : lines) ASSERT_TRUE(std::regex_match(l, line));
}

TEST(TraceSettingsTest, ReadsFilterOptionsAndFile) {
  TraceSettings s;
  std::string error;
  ASSERT_TRUE(ParseTraceSettings("developer", &s, &error));
  EXPECT_EQ(s.filter, STF_Developer);
  EXPECT_FALSE(s.call_tree);
  EXPECT_EQ(s.file, "");
  ASSERT_TRUE(
      ParseTraceSettings("STF_Moderate, CallTree:/tmp/a:b.log", &s, &error));
  EXPECT_EQ(s.filter, STF_Moderate);
  EXPECT_TRUE(s.call_tree);
  EXPECT_EQ(s.file, "/tmp/a:b.log");
  ASSERT_TRUE(ParseTraceSettings("0x40:", &s, &error));
  EXPECT_EQ(s.filter, 64);
  ASSERT_TRUE(ParseTraceSettings(" 7 ", &s, &error));
  EXPECT_EQ(s.filter, STF_Verbose);

  for (const char* bad : {"", "loud", "7x", "-1", "verbose,tree", ":f"}) {
    SCOPED_TRACE(bad);
    EXPECT_FALSE(ParseTraceSettings(bad, &s, &error));
    EXPECT_FALSE(error.empty());
  }
  EXPECT_THAT(error, HasSubstr("is not a filter"));
}

// Runs as the child of TraceEnvironmentTest, with KVL_TRACE set: the
// library applies it at start-up.
TEST(TraceEnvironmentChild, DISABLED_TraceAsConfigured) {
  StartLibrary();
  KVLTrace& trace = InternalInstance<KVLTrace>();
  trace.Trace(STL_Verbose, "Child", "verbose");
  trace.Trace(STL_Quiet, "Child", "quiet");
  trace.EnterFunction("Main");
  trace.EnterFunction("Load");
  trace.TraceCallTree(STL_Always, "Child");
}

struct ChildRun {
  int status = -1;
  std::string output;  // standard output and error
};

ChildRun RunChild(const std::string& kvl_trace, const std::string& tag) {
  TempFile out(tag + "_out");
  std::vector<std::string> env = {"KVL_TRACE=" + kvl_trace};
  for (char** e = environ; *e; ++e)
    if (std::string_view(*e).substr(0, 10) != "KVL_TRACE=") env.push_back(*e);
  std::vector<char*> envp;
  for (std::string& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  std::string self = "/proc/self/exe";
  std::string also = "--gtest_also_run_disabled_tests";
  std::string filter =
      "--gtest_filter=TraceEnvironmentChild.DISABLED_TraceAsConfigured";
  char* argv[] = {self.data(), also.data(), filter.data(), nullptr};

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, out.path().c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  pid_t pid = 0;
  ChildRun run;
  if (posix_spawn(&pid, argv[0], &actions, nullptr, argv, envp.data()) == 0)
    waitpid(pid, &run.status, 0);
  posix_spawn_file_actions_destroy(&actions);
  std::ifstream in(out.path());
  std::stringstream text;
  text << in.rdbuf();
  run.output = text.str();
  return run;
}

TEST(TraceEnvironmentTest, ChildProcessTracesAsTheEnvironmentSays) {
  TempFile file("env");
  ChildRun run = RunChild("moderate,calltree:" + file.path(), "env");
  ASSERT_EQ(run.status, 0) << run.output;
  const Lines lines = file.ReadLines();
  ASSERT_EQ(lines.size(), 2u) << run.output;
  EXPECT_THAT(lines[0], testing::MatchesRegex(".* Child   verbose"));
  EXPECT_THAT(lines[1], testing::EndsWith(" Child Calltree: Load;Main"));
}

TEST(TraceEnvironmentTest, UnusableSettingsAreReportedNotFatal) {
  ChildRun bad = RunChild("loud", "bad");
  EXPECT_EQ(bad.status, 0);
  EXPECT_THAT(bad.output,
              HasSubstr("kvl: KVL_TRACE=loud: 'loud' is not a filter"));
  EXPECT_THAT(bad.output, testing::Not(HasSubstr("Calltree")));

  // A file that cannot be opened: the lines go to standard error.
  ChildRun to_stderr = RunChild("always:/nonexistent/dir/t.log", "stderr");
  EXPECT_EQ(to_stderr.status, 0);
  EXPECT_THAT(to_stderr.output, HasSubstr("tracing to standard error"));
  EXPECT_THAT(to_stderr.output, HasSubstr(" Child Calltree: \n"));
}

}  // namespace
}  // namespace kvl
