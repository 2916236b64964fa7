#include "kvl/trace/kvl_trace.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <thread>
#include <vector>

#include "kvl/runtime/test_support.h"
#include "kvl/trace/testing/trace_recorder.h"

namespace kvl {
namespace {

constexpr KVLTraceLevels kLevels[] = {STL_Always,   STL_Verbose,
                                      STL_Moderate, STL_FunctionEntry,
                                      STL_Quiet,    STL_Developer};

TEST_F(TraceTest, FilterTableDecidesWhichLevelsPass) {
  const std::map<KVLTraceFilters, Lines> passing = {
      {STF_NoTrace, {}},
      {STF_Quiet, {"Always"}},
      {STF_Moderate, {"Always", "Verbose"}},
      {STF_Verbose, {"Always", "Verbose", "Moderate"}},
      {STF_FunctionEntry, {"Always", "Verbose", "Moderate", "FunctionEntry"}},
      {STF_Always, {"Always", "Verbose", "Moderate", "FunctionEntry", "Quiet"}},
      {STF_Developer,
       {"Always", "Verbose", "Moderate", "FunctionEntry", "Quiet",
        "Developer"}},
  };
  for (const auto& [filter, expected] : passing) {
    SCOPED_TRACE(filter);
    auto rec = Record(filter);
    for (KVLTraceLevels level : kLevels)
      trace_->Trace(level, "S", trace_->TraceLevelToString(level));
    Lines seen;
    for (const auto& line : rec->lines)
      seen.push_back(line.message.substr(line.message.find_first_not_of(' ')));
    EXPECT_EQ(seen, expected);
  }
}

TEST_F(TraceTest, LineCarriesStampSourceAndIndentedMessage) {
  auto rec = Record(STF_Moderate);
  trace_->Trace(STL_Moderate, "Loader", "hidden");
  trace_->Trace(STL_Verbose, "Loader", "reading");
  ASSERT_EQ(rec->lines.size(), 1u);
  EXPECT_EQ(rec->lines[0].stamp, "2024/03/05 07:08:09");  // not rounded up
  EXPECT_EQ(rec->lines[0].source, "Loader");
  EXPECT_EQ(rec->lines[0].message, "  reading");

  clock_.Advance(3 * 3600 * 1000);
  trace_->Trace(STL_Always, "", "");
  EXPECT_EQ(rec->lines[1].stamp, "2024/03/05 10:08:09");
  EXPECT_EQ(rec->lines[1].message, "");
}

TEST_F(TraceTest, LevelTextsAndIndents) {
  const Lines texts = {"Always",        "Verbose", "Moderate",
                       "FunctionEntry", "Quiet",   "Developer"};
  for (size_t i = 0; i < texts.size(); ++i) {
    EXPECT_EQ(trace_->TraceLevelToString(kLevels[i]), texts[i]);
    EXPECT_EQ(KVLTrace::Indent(kLevels[i]), std::string(2 * i, ' '));
  }
  for (int32_t odd : {0, 3, 64, -1}) {
    auto level = static_cast<KVLTraceLevels>(odd);
    EXPECT_EQ(trace_->TraceLevelToString(level), "");
    EXPECT_EQ(KVLTrace::Indent(level), std::string(12, ' '));
  }
  auto rec = Record(static_cast<KVLTraceFilters>(64));
  trace_->Trace(static_cast<KVLTraceLevels>(64), "S", "x");
  trace_->Trace(STL_Always, "S", "not passing");
  EXPECT_EQ(rec->Messages(), Lines{std::string(12, ' ') + "x"});
}

TEST_F(TraceTest, WithoutMechanismNothingIsTracedOrStacked) {
  trace_->SetTraceFilter(STF_Developer);
  trace_->SetTraceCallTreeEnabled(true);
  EXPECT_FALSE(trace_->TraceConnect());
  EXPECT_FALSE(trace_->TraceConnected());
  trace_->TraceDisconnect();
  trace_->EnterFunction("Main");
  trace_->Trace(STL_Always, "S", "x");
  EXPECT_TRUE(KVLTrace::CallStack().empty());
  EXPECT_FALSE(KVLTrace::Passes(STL_Always));
  EXPECT_EQ(trace_->TraceFilter(), STF_Developer);  // the filter is kept
}

TEST_F(TraceTest, ConnectionMembersForwardToTheMechanism) {
  auto rec = Record();
  EXPECT_FALSE(trace_->TraceConnected());
  EXPECT_TRUE(trace_->TraceConnect());
  EXPECT_TRUE(rec->connected);
  trace_->TraceDisconnect();
  EXPECT_FALSE(trace_->TraceConnected());
  EXPECT_EQ(trace_->TraceMechanism(), Ref<Object>(rec));
}

TEST_F(TraceTest, EnterFunctionWritesArgumentsAndIgnoresFailures) {
  auto rec = Record(STF_FunctionEntry, true);
  const Variant args[] = {Variant(int16_t{1}), Variant("a")};
  trace_->EnterFunction("Load", args);
  ASSERT_EQ(rec->lines.size(), 1u);
  EXPECT_EQ(rec->lines[0].source, "Load");
  EXPECT_EQ(rec->lines[0].message, "      Enter Load 1 a");

  // An element without text is left out; the mechanism's failure does not
  // reach the caller and the name is still stacked.
  rec->fail_with = 5;
  const Variant odd[] = {Variant::Null(), Variant(2.5), Variant(rec)};
  trace_->EnterFunction("Parse", odd);
  EXPECT_EQ(rec->lines[1].message, "      Enter Parse 2.5");
  EXPECT_EQ(KVLTrace::CallStack(), (Lines{"Load", "Parse"}));

  // Trace and LeaveFunction pass the failure on; the stack still unwinds.
  EXPECT_EQ(RaisedNumber([&] { trace_->Trace(STL_Always, "S", "x"); }), 5);
  EXPECT_EQ(RaisedNumber([&] { trace_->LeaveFunction(); }), 5);
  EXPECT_EQ(KVLTrace::CallStack(), Lines{"Load"});
}

TEST_F(TraceTest, LeaveFunctionUnwindsToTheName) {
  auto rec = Record(STF_Developer, true);
  for (const char* name : {"A", "B", "C"}) trace_->EnterFunction(name);
  trace_->LeaveFunction("a");  // case ignored; B and C never left
  EXPECT_TRUE(KVLTrace::CallStack().empty());

  trace_->EnterFunction("A");
  trace_->EnterFunction("B");
  rec->lines.clear();
  trace_->LeaveFunction();
  ASSERT_EQ(rec->lines.size(), 1u);
  EXPECT_EQ(rec->lines[0].source, "B");
  EXPECT_EQ(rec->lines[0].message, "      Leave B");
  EXPECT_EQ(KVLTrace::CallStack(), Lines{"A"});

  // An empty entry stops the unwinding and is dropped in place of the name.
  trace_->EnterFunction("");
  trace_->EnterFunction("Inner");
  trace_->LeaveFunction("Elsewhere");
  EXPECT_EQ(KVLTrace::CallStack(), Lines{"A"});
  trace_->LeaveFunction("Nowhere");  // not on the stack: empties it
  EXPECT_TRUE(KVLTrace::CallStack().empty());

  // With the call tree off the stack is left alone.
  trace_->SetTraceCallTreeEnabled(false);
  trace_->EnterFunction("X");
  trace_->LeaveFunction();
  EXPECT_EQ(rec->lines.back().message, "      Leave ");
  EXPECT_TRUE(KVLTrace::CallStack().empty());
}

TEST_F(TraceTest, TraceCallTreeListsInnermostFirst) {
  auto rec = Record(STF_Moderate, true);
  for (const char* name : {"Main", "Load", "Parse"})
    trace_->EnterFunction(name);
  EXPECT_TRUE(rec->lines.empty());  // entries are level 8, filtered out
  trace_->TraceCallTree(STL_Verbose, "Dump");
  trace_->TraceCallTree(STL_Moderate, "Dump");  // filtered out
  ASSERT_EQ(rec->lines.size(), 1u);
  EXPECT_EQ(rec->lines[0].source, "Dump");
  EXPECT_EQ(rec->lines[0].message, "  Calltree: Parse;Load;Main");
}

TEST_F(TraceTest, MechanismThatTracesDoesNotRecurse) {
  auto rec = Record();
  rec->on_trace = [&] { trace_->Trace(STL_Always, "Inner", "again"); };
  trace_->Trace(STL_Always, "Outer", "once");
  EXPECT_EQ(rec->Messages(), Lines{"once"});
  rec->on_trace = nullptr;
  trace_->Trace(STL_Always, "Outer", "later");  // not stuck after a drop
  EXPECT_EQ(rec->lines.size(), 2u);
}

TEST_F(TraceTest, ConfigurationIsSharedByInstancesAndThreads) {
  auto rec = Record(STF_Developer, true);
  trace_->EnterFunction("Main");
  Ref<KVLTrace> other = MakeRef<KVLTrace>();
  other->SetTraceFilter(STF_Quiet);
  EXPECT_EQ(trace_->TraceFilter(), STF_Quiet);

  Lines seen_by_thread;
  std::thread worker([&] {
    Ref<KVLTrace> mine = MakeRef<KVLTrace>();
    mine->EnterFunction("Worker");
    mine->TraceCallTree(STL_Always, "W");
    seen_by_thread = KVLTrace::CallStack();
  });
  worker.join();
  EXPECT_EQ(seen_by_thread, Lines{"Worker"});  // its own stack
  EXPECT_EQ(rec->lines.back().message, "Calltree: Worker");
  EXPECT_EQ(KVLTrace::CallStack(), Lines{"Main"});
}

}  // namespace
}  // namespace kvl
