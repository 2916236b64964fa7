// Test helpers: a mechanism that records the lines it is handed, and a
// fixture that starts and ends each test with tracing off, an empty call
// stack and a manual clock. Header-only, for *_test.cc files.
#ifndef KVL_TRACE_TESTING_TRACE_RECORDER_H_
#define KVL_TRACE_TESTING_TRACE_RECORDER_H_

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "kvl/runtime/clock.h"
#include "kvl/runtime/date_time.h"
#include "kvl/runtime/error.h"
#include "kvl/trace/kvl_trace.h"

namespace kvl {

using Lines = std::vector<std::string>;

class TraceRecorder : public Object, public IKVLTraceMechanism {
  KVL_DECLARE_CLASS(TraceRecorder)
 public:
  bool Connect() override { return connected = true; }
  void Disconnect() override { connected = false; }
  bool Connected() override { return connected; }
  // Records "source|message" and the stamp, then raises `fail_with` or
  // runs `on_trace` when set.
  void Trace(const std::string& aTimestamp, const std::string& theSource,
             const std::string& s) override {
    lines.push_back(theSource + "|" + s);
    stamps.push_back(aTimestamp);
    if (fail_with != 0) Raise(fail_with);
    if (on_trace) on_trace();
  }

  Lines lines, stamps;
  bool connected = false;
  int32_t fail_with = 0;
  std::function<void()> on_trace;
};

inline const ClassInfo& TraceRecorder::StaticClass() {
  static const ClassInfo info =
      ClassBuilder<TraceRecorder>("TraceRecorder", ClassKind::kPrivate)
          .Implements(&IKVLTraceMechanism::StaticClass)
          .Build();
  return info;
}

class TraceTest : public ::testing::Test {
 protected:
  void SetUp() override { Reset(); }
  void TearDown() override { Reset(); }

  // A new recorder as the mechanism, with `filter` and the call tree.
  Ref<TraceRecorder> Record(KVLTraceFilters filter = STF_Developer,
                            bool call_tree = false) {
    auto rec = MakeRef<TraceRecorder>();
    trace_->SetTraceMechanismRef(rec);
    trace_->SetTraceFilter(filter);
    trace_->SetTraceCallTreeEnabled(call_tree);
    return rec;
  }

  void Reset() {
    Record(STF_Developer, true);
    while (!KVLTrace::CallStack().empty()) trace_->LeaveFunction("\x7f");
    trace_->SetTraceMechanismRef(nullptr);
    trace_->SetTraceFilter(STF_NoTrace);
    trace_->SetTraceCallTreeEnabled(false);
  }

  ScopedManualClock clock_{MakeDate(2024, 3, 5, 7, 8, 9, 999)};
  Ref<KVLTrace> trace_ = MakeRef<KVLTrace>();
};

}  // namespace kvl

#endif  // KVL_TRACE_TESTING_TRACE_RECORDER_H_
