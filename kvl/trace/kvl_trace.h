// KVLTrace: levelled and filtered trace lines with call-tree indentation,
// handed to a pluggable output mechanism (IKVLTraceMechanism).
//
// A trace line is a time stamp ("yyyy/mm/dd hh:nn:ss", local time, from the
// library clock), a source name and a message indented by its level (two
// blanks per level step, see Indent). A line is written only when a
// mechanism is set and the level passes the filter: level AND filter is
// not 0. EnterFunction / LeaveFunction trace at STL_FunctionEntry and,
// with the call tree enabled, keep a stack of function names that
// TraceCallTree prints ("Calltree: Parse;Load;Main", innermost first).
//
// State: KVLTrace is a global class and every instance shares one trace
// configuration per process (mechanism, filter, call-tree switch), so one
// setting, or KVL_TRACE in the environment (stream_trace.h), traces every
// thread. The call stack is per thread: calls nest on one thread only.
//
// Threading: members may be called from any thread. The mechanism is
// called on the tracing thread with the trace lock held, one line at a
// time in the whole process, so a mechanism need not be thread-safe; it
// must not wait for another thread that traces. A line traced from inside
// the mechanism (a sink that traces) is dropped instead of recursing.
//
// A line that does not pass costs one atomic load: Trace takes string
// views and allocates nothing until the line passes.
//
//   Ref<KVLTrace> trace = MakeRef<KVLTrace>();
//   trace->SetTraceMechanismRef(MakeRef<KVLStreamTrace>());   // stderr
//   trace->SetTraceFilter(STF_Moderate);
//   trace->Trace(STL_Verbose, "Loader", "reading main.cfg");
//   // 2024/03/05 07:08:09 Loader   reading main.cfg
#ifndef KVL_TRACE_KVL_TRACE_H_
#define KVL_TRACE_KVL_TRACE_H_

#include <atomic>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "kvl/runtime/class_info.h"
#include "kvl/runtime/export.h"
#include "kvl/runtime/object.h"
#include "kvl/runtime/variant.h"

namespace kvl {

// The level of one line: one bit each.
enum KVLTraceLevels : int32_t {
  STL_Always = 1,
  STL_Verbose = 2,
  STL_Moderate = 4,
  STL_FunctionEntry = 8,
  STL_Quiet = 16,
  STL_Developer = 32,
};
KVL_DECLARE_ENUM(KVLTraceLevels)

// Masks of the levels that pass. The names do not follow the level bits:
// STF_Quiet passes STL_Always only, and STL_Quiet needs STF_Always.
enum KVLTraceFilters : int32_t {
  STF_NoTrace = 0,
  STF_Quiet = 1,
  STF_Moderate = 3,
  STF_Verbose = 7,
  STF_FunctionEntry = 15,
  STF_Always = 31,
  STF_Developer = 63,
};
KVL_DECLARE_ENUM(KVLTraceFilters)

// Public interface, not creatable (kind 3): where trace lines go. Its own
// bodies return false and do nothing. A client mechanism either derives
// from it or has members of these names that are called late-bound.
class KVL_EXPORT IKVLTraceMechanism {
 public:
  static const ClassInfo& StaticClass();

  virtual bool Connect() { return false; }
  virtual void Disconnect() {}
  virtual bool Connected() { return false; }
  // One line: the time stamp, the source and the indented message.
  virtual void Trace(const std::string& /*aTimestamp*/,
                     const std::string& /*theSource*/,
                     const std::string& /*s*/) {}

 protected:
  ~IKVLTraceMechanism() = default;
};

// Global class (kind 1).
class KVL_EXPORT KVLTrace : public Object {
  KVL_DECLARE_CLASS(KVLTrace)
 public:
  // The first KVLTrace of the process applies KVL_TRACE (stream_trace.h).
  KVLTrace();

  // The mechanism; Nothing stops tracing. Any object is accepted: one that
  // does not implement IKVLTraceMechanism is called by member name.
  void SetTraceMechanismRef(Ref<Object> mechanism);
  Ref<Object> TraceMechanism() const;
  void SetTraceFilter(KVLTraceFilters filter);
  KVLTraceFilters TraceFilter() const;
  void SetTraceCallTreeEnabled(bool enabled);
  bool TraceCallTreeEnabled() const;

  // Forwarded to the mechanism; without one, false / nothing / false.
  bool TraceConnect();
  void TraceDisconnect();
  bool TraceConnected() const;

  // "Always" ... "Developer"; "" for any other value.
  std::string TraceLevelToString(KVLTraceLevels level) const;

  // Hands the mechanism the stamp, Source and the indented `ts` when a
  // mechanism is set and the level passes. The mechanism's failures reach
  // the caller.
  void Trace(KVLTraceLevels level, std::string_view Source,
             std::string_view ts) {
    if (Passes(level)) TracePassing(level, Source, ts);
  }
  // Traces "Calltree: " and this thread's call stack, innermost first,
  // separated by ";".
  void TraceCallTree(KVLTraceLevels level, std::string_view Source);
  // With a mechanism set: traces "Enter MethodName" and each element of x
  // as text after a blank, at STL_FunctionEntry with MethodName as source,
  // and with the call tree enabled pushes MethodName. Every failure inside
  // (an element without text, the mechanism's) is ignored.
  void EnterFunction(std::string_view MethodName,
                     std::span<const Variant> x = {});
  // With a mechanism set: traces "Leave name" (name defaults to the top of
  // the call stack when the call tree is enabled) and, with the call tree
  // enabled, unwinds the stack to the name: entries above it (inner
  // functions that never left) go with it; an empty entry stops the
  // unwinding and goes instead; a name not on the stack empties it.
  void LeaveFunction(std::string_view MethodName = {});

  // Not published members, for C++ callers:
  // True when a line at `level` would be written now.
  static bool Passes(KVLTraceLevels level) {
    return (level & pass_mask_.load(std::memory_order_relaxed)) != 0;
  }
  // The blanks before a message of `level`: 0, 2, ... 10 for the six
  // levels, 12 for any other value.
  static std::string_view Indent(KVLTraceLevels level);
  // This thread's call stack, outermost first.
  static std::vector<std::string> CallStack();

 private:
  void TracePassing(KVLTraceLevels level, std::string_view Source,
                    std::string_view ts);

  // The forms the member table binds (late-bound arguments arrive as
  // strings and a variant array).
  void TraceByName(KVLTraceLevels level, const std::string& Source,
                   const std::string& ts) {
    Trace(level, Source, ts);
  }
  void TraceCallTreeByName(KVLTraceLevels level, const std::string& Source) {
    TraceCallTree(level, Source);
  }
  void EnterFunctionByName(const std::string& MethodName, const Variant& x);
  void LeaveFunctionByName(const std::string& MethodName) {
    LeaveFunction(MethodName);
  }

  // Sets the process's mechanism and filter together.
  static void Configure(Ref<Object> mechanism, int32_t filter);
  // Applies KVL_TRACE; run once per process.
  static void ApplyEnvironment();

  // The filter while a mechanism is set, else 0.
  static inline std::atomic<int32_t> pass_mask_{0};
};

}  // namespace kvl

#endif  // KVL_TRACE_KVL_TRACE_H_
