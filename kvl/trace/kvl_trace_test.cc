#include "kvl/trace/kvl_trace.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "kvl/runtime/test_support.h"
#include "kvl/trace/testing/trace_recorder.h"

namespace kvl {
namespace {

constexpr KVLTraceLevels kLevels[] = {STL_Always,   STL_Verbose,
                                      STL_Moderate, STL_FunctionEntry,
                                      STL_Quiet,    STL_Developer};

TEST_F(TraceTest, FilterTableDecidesWhichLevelsPass) {
  // Levels passing each filter, as a bit per level in kLevels order.
  const std::pair<KVLTraceFilters, std::string> table[] = {
      {STF_NoTrace, "000000"},       {STF_Quiet, "100000"},
      {STF_Moderate, "110000"},      {STF_Verbose, "111000"},
      {STF_FunctionEntry, "111100"}, {STF_Always, "111110"},
      {STF_Developer, "111111"},
  };
  for (const auto& [filter, expected] : table) {
    auto rec = Record(filter);
    std::string passed;
    for (KVLTraceLevels level : kLevels) {
      size_t before = rec->lines.size();
      trace_->Trace(level, "S", "m");
      passed += rec->lines.size() > before ? '1' : '0';
    }
    EXPECT_EQ(passed, expected) << "filter " << filter;
  }
}

TEST_F(TraceTest, LineCarriesStampSourceAndIndentedMessage) {
  auto rec = Record(STF_Moderate);
  trace_->Trace(STL_Verbose, "Loader", "reading");
  clock_.Advance(3 * 3600 * 1000);
  trace_->Trace(STL_Always, "", "");
  EXPECT_EQ(rec->lines, (Lines{"Loader|  reading", "|"}));
  EXPECT_EQ(rec->stamps, (Lines{"2024/03/05 07:08:09",  // not rounded up
                                "2024/03/05 10:08:09"}));

  const Lines texts = {"Always",        "Verbose", "Moderate",
                       "FunctionEntry", "Quiet",   "Developer"};
  for (size_t i = 0; i < texts.size(); ++i) {
    EXPECT_EQ(trace_->TraceLevelToString(kLevels[i]), texts[i]);
    EXPECT_EQ(KVLTrace::Indent(kLevels[i]), std::string(2 * i, ' '));
  }
  for (int32_t odd : {0, 3, 64}) {
    EXPECT_EQ(trace_->TraceLevelToString(static_cast<KVLTraceLevels>(odd)), "");
    EXPECT_EQ(KVLTrace::Indent(static_cast<KVLTraceLevels>(odd)).size(), 12u);
  }
  rec = Record(static_cast<KVLTraceFilters>(64));
  trace_->Trace(static_cast<KVLTraceLevels>(64), "S", "x");
  EXPECT_EQ(rec->lines, Lines{"S|" + std::string(12, ' ') + "x"});
}

TEST_F(TraceTest, WithoutMechanismNothingIsTracedOrStacked) {
  trace_->SetTraceFilter(STF_Developer);
  trace_->SetTraceCallTreeEnabled(true);
  EXPECT_FALSE(trace_->TraceConnect());
  EXPECT_FALSE(trace_->TraceConnected());
  trace_->TraceDisconnect();
  trace_->EnterFunction("Main");
  EXPECT_TRUE(KVLTrace::CallStack().empty());
  EXPECT_FALSE(KVLTrace::Passes(STL_Always));
}

TEST_F(TraceTest, EnterFunctionWritesArgumentsAndIgnoresFailures) {
  auto rec = Record(STF_FunctionEntry, true);
  const Variant args[] = {Variant(int16_t{1}), Variant("a")};
  trace_->EnterFunction("Load", args);
  // An element without text is left out; the mechanism's failure does not
  // reach the caller and the name is still stacked.
  rec->fail_with = 5;
  const Variant odd[] = {Variant::Null(), Variant(2.5), Variant(rec)};
  trace_->EnterFunction("Parse", odd);
  EXPECT_EQ(rec->lines, (Lines{"Load|      Enter Load 1 a",
                               "Parse|      Enter Parse 2.5"}));
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
  EXPECT_EQ(rec->lines, Lines{"B|      Leave B"});
  EXPECT_EQ(KVLTrace::CallStack(), Lines{"A"});

  // An empty entry stops the unwinding and goes in place of the name.
  for (const char* name : {"", "Inner"}) trace_->EnterFunction(name);
  trace_->LeaveFunction("Elsewhere");
  EXPECT_EQ(KVLTrace::CallStack(), Lines{"A"});
  trace_->LeaveFunction("Nowhere");  // not on the stack: empties it
  EXPECT_TRUE(KVLTrace::CallStack().empty());

  trace_->SetTraceCallTreeEnabled(false);  // the stack is left alone
  trace_->EnterFunction("X");
  trace_->LeaveFunction();
  EXPECT_EQ(rec->lines.back(), "|      Leave ");
  EXPECT_TRUE(KVLTrace::CallStack().empty());
}

TEST_F(TraceTest, TraceCallTreeListsInnermostFirst) {
  auto rec = Record(STF_Moderate, true);
  for (const char* name : {"Main", "Load", "Parse"})
    trace_->EnterFunction(name);
  trace_->TraceCallTree(STL_Verbose, "Dump");
  trace_->TraceCallTree(STL_Moderate, "Dump");  // filtered out
  EXPECT_EQ(rec->lines, Lines{"Dump|  Calltree: Parse;Load;Main"});
}

TEST_F(TraceTest, MechanismThatTracesDoesNotRecurse) {
  auto rec = Record();
  rec->on_trace = [&] { trace_->Trace(STL_Always, "Inner", "again"); };
  trace_->Trace(STL_Always, "Outer", "once");
  rec->on_trace = nullptr;
  trace_->Trace(STL_Always, "Outer", "later");  // not stuck after a drop
  EXPECT_EQ(rec->lines, (Lines{"Outer|once", "Outer|later"}));
}

TEST_F(TraceTest, ConfigurationIsSharedCallStackIsPerThread) {
  auto rec = Record(STF_Developer, true);
  trace_->EnterFunction("Main");
  MakeRef<KVLTrace>()->SetTraceFilter(STF_Quiet);
  EXPECT_EQ(trace_->TraceFilter(), STF_Quiet);
  std::thread([] {
    Ref<KVLTrace> mine = MakeRef<KVLTrace>();
    mine->EnterFunction("Worker");
    mine->TraceCallTree(STL_Always, "W");
  }).join();
  EXPECT_EQ(rec->lines.back(), "W|Calltree: Worker");
  EXPECT_EQ(KVLTrace::CallStack(), Lines{"Main"});
}

}  // namespace
}  // namespace kvl
