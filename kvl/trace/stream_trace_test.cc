#include "kvl/trace/stream_trace.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <regex>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "kvl/frame/library.h"
#include "kvl/runtime/test_support.h"
#include "kvl/trace/testing/trace_recorder.h"

namespace kvl {
namespace {

using ::testing::ElementsAre;
using ::testing::EndsWith;
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

  // A name that cannot be opened raises and the output stays.
  EXPECT_EQ(RaisedNumber([&] { stream->SetFileName(file.path() + "/x"); }), 76);
  EXPECT_EQ(RaisedNumber([&] { stream->SetFileName(::testing::TempDir()); }),
            75);  // a directory
  EXPECT_EQ(stream->FileName(), file.path());
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
  const std::regex head("2024/03/05 07:08:09 T\\d   \\d+");
  const Lines lines = file.ReadLines();
  EXPECT_EQ(lines.size(), static_cast<size_t>(kThreads * kLines));
  for (const std::string& l : lines) {
    ASSERT_TRUE(l.ends_with(" " + payload)) << l.substr(0, 40);
    ASSERT_TRUE(std::regex_match(l.substr(0, l.size() - 3001), head)) << l;
  }
}

TEST(TraceSettingsTest, ReadsFilterOptionsAndFile) {
  TraceSettings s;
  std::string error;
  ASSERT_TRUE(ParseTraceSettings(" STF_Moderate, CallTree:/a:b", &s, &error));
  EXPECT_EQ(std::tie(s.filter, s.call_tree, s.file),
            std::make_tuple(3, true, std::string("/a:b")));
  ASSERT_TRUE(ParseTraceSettings("0x40:", &s, &error));
  EXPECT_EQ(std::tie(s.filter, s.file), std::make_tuple(64, std::string()));
  for (const char* bad : {"", "7x", "-1", "verbose,tree", ":f"}) {
    error.clear();
    EXPECT_FALSE(ParseTraceSettings(bad, &s, &error)) << bad;
    EXPECT_FALSE(error.empty());
  }
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

// Runs the disabled test above in a child of this test program.
ChildRun RunChild(const std::string& kvl_trace, const std::string& tag) {
  TempFile out(tag + "_out");
  char self[4096] = {};
  EXPECT_GT(::readlink("/proc/self/exe", self, sizeof self - 1), 0);
  const std::string command = "KVL_TRACE='" + kvl_trace + "' '" + self +
                              "' --gtest_also_run_disabled_tests"
                              " --gtest_filter=TraceEnvironmentChild.* >'" +
                              out.path() + "' 2>&1";
  ChildRun run;
  run.status = std::system(command.c_str());
  std::ifstream in(out.path());
  run.output.assign(std::istreambuf_iterator<char>(in), {});
  return run;
}

TEST(TraceEnvironmentTest, ChildProcessTracesAsTheEnvironmentSays) {
  TempFile file("env");
  ChildRun run = RunChild("moderate,calltree:" + file.path(), "env");
  ASSERT_EQ(run.status, 0) << run.output;
  const Lines lines = file.ReadLines();
  ASSERT_EQ(lines.size(), 2u) << run.output;
  EXPECT_THAT(lines[0], EndsWith(" Child   verbose"));
  EXPECT_THAT(lines[1], EndsWith(" Child Calltree: Load;Main"));

  // Settings that cannot be used are reported, and the child runs on.
  ChildRun bad = RunChild("loud", "bad");
  EXPECT_EQ(bad.status, 0);
  EXPECT_THAT(bad.output, HasSubstr("KVL_TRACE=loud: 'loud' is not a filter"));
  ChildRun to_stderr = RunChild("always:/nonexistent/t.log", "stderr");
  EXPECT_EQ(to_stderr.status, 0);
  EXPECT_THAT(to_stderr.output, HasSubstr("tracing to standard error"));
  EXPECT_THAT(to_stderr.output, HasSubstr(" Child Calltree: \n"));
}

}  // namespace
}  // namespace kvl
