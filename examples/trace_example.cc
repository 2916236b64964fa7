// A first look at the trace facility: a filter that picks levels, function
// entries with their arguments, the call stack that LeaveFunction unwinds
// even for a function that never left, and a client that receives every
// line as a notification of KVLDebugTrace.
//
// Without a code change, KVL_TRACE=developer,calltree ./app sends the same
// lines to standard error (or to a file: KVL_TRACE=developer:/tmp/app.trace).
//
// Run it and compare with the output at the bottom of this file.
#include <cstdio>
#include <span>

#include "kvl/runtime/dynamic_object.h"
#include "kvl/runtime/variant_convert.h"
#include "kvl/trace/debug_trace.h"
#include "kvl/trace/kvl_trace.h"

using kvl::DynamicObject;
using kvl::KVLDebugTrace;
using kvl::KVLTrace;
using kvl::MakeRef;
using kvl::Ref;
using kvl::Variant;

namespace {

void Parse(KVLTrace& trace, int line) {
  const Variant args[] = {Variant(int32_t{line})};
  trace.EnterFunction("Parse", args);
  if (line == 3) {
    trace.Trace(kvl::STL_Moderate, "Parse", "unknown key at line 3");
    trace.TraceCallTree(kvl::STL_Verbose, "Parse");
    return;  // leaves without LeaveFunction
  }
  trace.LeaveFunction("Parse");
}

void Load(KVLTrace& trace, const char* file) {
  const Variant args[] = {Variant(file), Variant(true)};
  trace.EnterFunction("Load", args);
  trace.Trace(kvl::STL_Verbose, "Load", "opened");
  trace.Trace(kvl::STL_Developer, "Load", "not shown: filtered out");
  for (int line = 1; line <= 3; ++line) Parse(trace, line);
  trace.LeaveFunction("Load");  // drops the Parse that never left
}

}  // namespace

int main() {
  Ref<KVLTrace> trace = MakeRef<KVLTrace>();

  // A client that prints each line it is handed.
  auto printer = MakeRef<DynamicObject>("Printer");
  printer->OnMethod("Trace", [](std::span<Variant> a) {
    std::printf("%s %-6s|%s\n", kvl::ToText(a[0]).c_str(),
                kvl::ToText(a[1]).c_str(), kvl::ToText(a[2]).c_str());
    return Variant();
  });
  auto debug = MakeRef<KVLDebugTrace>();
  debug->Connect(printer);

  trace->SetTraceMechanismRef(debug);
  trace->SetTraceFilter(kvl::STF_FunctionEntry);
  trace->SetTraceCallTreeEnabled(true);
  trace->Trace(kvl::STL_Always, "Main", "start");
  Load(*trace, "main.cfg");
  std::printf("stack after Load: %zu entries\n", KVLTrace::CallStack().size());
  trace->SetTraceMechanismRef(nullptr);
  return 0;
}

// Output (with the date and time of the run):
// 2024/03/05 07:08:09 Main  |start
// 2024/03/05 07:08:09 Load  |      Enter Load main.cfg True
// 2024/03/05 07:08:09 Load  |  opened
// 2024/03/05 07:08:09 Parse |      Enter Parse 1
// 2024/03/05 07:08:09 Parse |      Leave Parse
// 2024/03/05 07:08:09 Parse |      Enter Parse 2
// 2024/03/05 07:08:09 Parse |      Leave Parse
// 2024/03/05 07:08:09 Parse |      Enter Parse 3
// 2024/03/05 07:08:09 Parse |    unknown key at line 3
// 2024/03/05 07:08:09 Parse |  Calltree: Parse;Load
// 2024/03/05 07:08:09 Load  |      Leave Load
// stack after Load: 0 entries
