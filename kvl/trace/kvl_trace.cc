#include "kvl/trace/kvl_trace.h"

#include <cxxabi.h>

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <type_traits>
#include <utility>

#include "kvl/frame/catalogue.h"
#include "kvl/frame/library.h"
#include "kvl/runtime/error.h"
#include "kvl/runtime/variant_convert.h"
#include "kvl/trace/internal/trace_stamp.h"
#include "kvl/trace/stream_trace.h"

namespace kvl {

const ClassInfo& KvlEnumInfo(KVLTraceLevels) {
  static const ClassInfo info =
      EnumBuilder("KVLTraceLevels")
          .Value("STL_Always", STL_Always)
          .Value("STL_Verbose", STL_Verbose)
          .Value("STL_Moderate", STL_Moderate)
          .Value("STL_FunctionEntry", STL_FunctionEntry)
          .Value("STL_Quiet", STL_Quiet)
          .Value("STL_Developer", STL_Developer)
          .Build();
  return info;
}
KVL_REGISTER_ENUM(KVLTraceLevels)

const ClassInfo& KvlEnumInfo(KVLTraceFilters) {
  static const ClassInfo info =
      EnumBuilder("KVLTraceFilters")
          .Value("STF_NoTrace", STF_NoTrace)
          .Value("STF_Quiet", STF_Quiet)
          .Value("STF_Moderate", STF_Moderate)
          .Value("STF_Verbose", STF_Verbose)
          .Value("STF_FunctionEntry", STF_FunctionEntry)
          .Value("STF_Always", STF_Always)
          .Value("STF_Developer", STF_Developer)
          .Build();
  return info;
}
KVL_REGISTER_ENUM(KVLTraceFilters)

// The function names of EnterFunction, outermost first: library state of
// each thread, made at start-up.
struct TraceCallStack {
  std::vector<std::string> names;
};
KVL_REGISTER_LIBRARY_STATE(TraceCallStack)

namespace {

// The process's trace configuration. `mu` is recursive so that a mechanism
// may read or change the configuration while it handles a line.
struct TraceState {
  std::recursive_mutex mu;
  Ref<Object> mechanism;
  IKVLTraceMechanism* typed = nullptr;  // the mechanism's C++ interface
  int32_t filter = STF_NoTrace;
  std::atomic<bool> has_mechanism{false};
  std::atomic<bool> call_tree{false};
  internal::TraceStamper stamper;
};

TraceState& State() {
  static TraceState* state = new TraceState;  // outlives static destructors
  return *state;
}

// Set while this thread is inside a mechanism call.
thread_local bool t_in_mechanism = false;

class MechanismCall {
 public:
  MechanismCall() { t_in_mechanism = true; }
  ~MechanismCall() { t_in_mechanism = false; }
  MechanismCall(const MechanismCall&) = delete;
  MechanismCall& operator=(const MechanismCall&) = delete;
};

// Calls a mechanism member that takes no argument: typed when the object
// implements the interface, else by name.
template <auto F>
Variant CallMechanism(const char* name) {
  TraceState& s = State();
  std::lock_guard<std::recursive_mutex> lock(s.mu);
  Ref<Object> keep = s.mechanism;
  if (!keep) return Variant();
  if (IKVLTraceMechanism* typed = s.typed) {
    using R = decltype((typed->*F)());
    if constexpr (std::is_void_v<R>) {
      (typed->*F)();
      return Variant();
    } else {
      return Variant((typed->*F)());
    }
  }
  return keep->Invoke(name, CallKind::kMethod, {});
}

constexpr std::string_view kBlanks = "            ";  // 12

}  // namespace

const ClassInfo& IKVLTraceMechanism::StaticClass() {
  static const ClassInfo info =
      ClassBuilder<IKVLTraceMechanism>("IKVLTraceMechanism", ClassKind::kPublic)
          .Method<&IKVLTraceMechanism::Connect>("Connect")
          .Method<&IKVLTraceMechanism::Disconnect>("Disconnect")
          .Get<&IKVLTraceMechanism::Connected>("Connected")
          .Method<&IKVLTraceMechanism::Trace>(
              "Trace", {Arg("aTimestamp"), Arg("theSource"), Arg("s")})
          .Build();
  return info;
}
KVL_REGISTER_CLASS(IKVLTraceMechanism)

const ClassInfo& KVLTrace::StaticClass() {
  static const ClassInfo info =
      ClassBuilder<KVLTrace>("KVLTrace", ClassKind::kGlobal)
          .Set<&KVLTrace::SetTraceMechanismRef>("TraceMechanism")
          .Get<&KVLTrace::TraceMechanism>("TraceMechanism")
          .Let<&KVLTrace::SetTraceFilter>("TraceFilter")
          .Get<&KVLTrace::TraceFilter>("TraceFilter")
          .Let<&KVLTrace::SetTraceCallTreeEnabled>("TraceCallTreeEnabled")
          .Get<&KVLTrace::TraceCallTreeEnabled>("TraceCallTreeEnabled")
          .Method<&KVLTrace::TraceConnect>("TraceConnect")
          .Method<&KVLTrace::TraceDisconnect>("TraceDisconnect")
          .Get<&KVLTrace::TraceConnected>("TraceConnected")
          .Method<&KVLTrace::TraceLevelToString>("TraceLevelToString",
                                                 {Arg("level")})
          .Method<&KVLTrace::TraceByName>(
              "Trace", {Arg("level"), Arg("Source"), Arg("ts")})
          .Method<&KVLTrace::TraceCallTreeByName>("TraceCallTree",
                                                  {Arg("level"), Arg("Source")})
          .Method<&KVLTrace::EnterFunctionByName>(
              "EnterFunction",
              {Arg("MethodName"),
               Arg("x").Of(VarType::kArray | VarType::kVariant)})
          .Method<&KVLTrace::LeaveFunctionByName>(
              "LeaveFunction", {OptArg("MethodName", Variant(""))})
          .Build();
  return info;
}
KVL_REGISTER_CLASS(KVLTrace)

KVLTrace::KVLTrace() {
  static std::once_flag environment;
  std::call_once(environment, &KVLTrace::ApplyEnvironment);
}

void KVLTrace::Configure(Ref<Object> mechanism, int32_t filter) {
  TraceState& s = State();
  std::unique_lock<std::recursive_mutex> lock(s.mu);
  std::swap(s.mechanism, mechanism);
  s.typed = s.mechanism ? s.mechanism->As<IKVLTraceMechanism>() : nullptr;
  s.filter = filter;
  s.has_mechanism.store(static_cast<bool>(s.mechanism));
  pass_mask_.store(s.mechanism ? filter : 0, std::memory_order_relaxed);
  lock.unlock();
  // The former mechanism ends outside the lock: its end may trace.
}

// KVL_TRACE: "filter[,calltree][:file]". A value that cannot be used is
// reported once on standard error and leaves tracing as it was.
void KVLTrace::ApplyEnvironment() {
  const char* text = std::getenv("KVL_TRACE");
  if (!text || !*text) return;
  TraceSettings settings;
  std::string error;
  if (!ParseTraceSettings(text, &settings, &error)) {
    std::fprintf(stderr, "kvl: KVL_TRACE=%s: %s; tracing stays off\n", text,
                 error.c_str());
    return;
  }
  auto stream = MakeRef<KVLStreamTrace>();
  if (!settings.file.empty()) {
    try {
      stream->SetFileName(settings.file);
    } catch (const KVLError& e) {
      std::fprintf(stderr, "kvl: KVL_TRACE=%s: %s; tracing to standard error\n",
                   text, e.description().c_str());
    }
  }
  State().call_tree.store(settings.call_tree);
  Configure(stream, settings.filter);
  stream->Connect();
}

void KVLTrace::SetTraceMechanismRef(Ref<Object> mechanism) {
  TraceState& s = State();
  std::lock_guard<std::recursive_mutex> lock(s.mu);
  Configure(std::move(mechanism), s.filter);
}

Ref<Object> KVLTrace::TraceMechanism() const {
  TraceState& s = State();
  std::lock_guard<std::recursive_mutex> lock(s.mu);
  return s.mechanism;
}

void KVLTrace::SetTraceFilter(KVLTraceFilters filter) {
  TraceState& s = State();
  std::lock_guard<std::recursive_mutex> lock(s.mu);
  Configure(s.mechanism, filter);
}

KVLTraceFilters KVLTrace::TraceFilter() const {
  TraceState& s = State();
  std::lock_guard<std::recursive_mutex> lock(s.mu);
  return static_cast<KVLTraceFilters>(s.filter);
}

void KVLTrace::SetTraceCallTreeEnabled(bool enabled) {
  State().call_tree.store(enabled);
}

bool KVLTrace::TraceCallTreeEnabled() const {
  return State().call_tree.load();
}

bool KVLTrace::TraceConnect() {
  return ToBool(CallMechanism<&IKVLTraceMechanism::Connect>("Connect"));
}

void KVLTrace::TraceDisconnect() {
  CallMechanism<&IKVLTraceMechanism::Disconnect>("Disconnect");
}

bool KVLTrace::TraceConnected() const {
  return ToBool(CallMechanism<&IKVLTraceMechanism::Connected>("Connected"));
}

std::string KVLTrace::TraceLevelToString(KVLTraceLevels level) const {
  switch (level) {
    case STL_Always: return "Always";
    case STL_Verbose: return "Verbose";
    case STL_Moderate: return "Moderate";
    case STL_FunctionEntry: return "FunctionEntry";
    case STL_Quiet: return "Quiet";
    case STL_Developer: return "Developer";
  }
  return "";
}

std::string_view KVLTrace::Indent(KVLTraceLevels level) {
  switch (level) {
    case STL_Always: return kBlanks.substr(0, 0);
    case STL_Verbose: return kBlanks.substr(0, 2);
    case STL_Moderate: return kBlanks.substr(0, 4);
    case STL_FunctionEntry: return kBlanks.substr(0, 6);
    case STL_Quiet: return kBlanks.substr(0, 8);
    case STL_Developer: return kBlanks.substr(0, 10);
  }
  return kBlanks;
}

void KVLTrace::TracePassing(KVLTraceLevels level, std::string_view Source,
                            std::string_view ts) {
  if (t_in_mechanism) return;
  TraceState& s = State();
  std::lock_guard<std::recursive_mutex> lock(s.mu);
  Ref<Object> keep = s.mechanism;
  if (!keep || (level & s.filter) == 0) return;  // changed meanwhile
  const std::string stamp = s.stamper.Now();
  const std::string_view indent = Indent(level);
  std::string message;
  message.reserve(indent.size() + ts.size());
  message.append(indent).append(ts);
  std::string source(Source);
  MechanismCall inside;
  if (IKVLTraceMechanism* typed = s.typed) {
    typed->Trace(stamp, source, message);
  } else {
    Variant args[] = {Variant(stamp), Variant(std::move(source)),
                      Variant(std::move(message))};
    keep->Invoke("Trace", CallKind::kMethod, args);
  }
}

void KVLTrace::TraceCallTree(KVLTraceLevels level, std::string_view Source) {
  if (!Passes(level)) return;
  const std::vector<std::string>& names = LibraryState<TraceCallStack>().names;
  std::string text = "Calltree: ";
  for (auto it = names.rbegin(); it != names.rend(); ++it) {
    if (it != names.rbegin()) text += ';';
    text += *it;
  }
  TracePassing(level, Source, text);
}

void KVLTrace::EnterFunction(std::string_view MethodName,
                             std::span<const Variant> x) {
  TraceState& s = State();
  if (!s.has_mechanism.load()) return;
  try {
    if (Passes(STL_FunctionEntry)) {
      std::string message = "Enter ";
      message += MethodName;
      for (const Variant& element : x) {
        try {
          std::string text = ToText(element);
          message += ' ';
          message += text;
        } catch (const KVLError&) {
          // An element without a text form is left out.
        }
      }
      TracePassing(STL_FunctionEntry, MethodName, message);
    }
  } catch (abi::__forced_unwind&) {
    throw;
  } catch (...) {
    // The mechanism's failure does not reach the traced function.
  }
  if (s.call_tree.load())
    LibraryState<TraceCallStack>().names.emplace_back(MethodName);
}

void KVLTrace::EnterFunctionByName(const std::string& MethodName,
                                   const Variant& x) {
  if (x.is_array()) {
    const std::vector<Variant>& items = x.Array().items();
    EnterFunction(MethodName, items);
  } else if (x.is_empty() || x.is_missing()) {
    EnterFunction(MethodName);
  } else {
    EnterFunction(MethodName, std::span<const Variant>(&x, 1));
  }
}

void KVLTrace::LeaveFunction(std::string_view MethodName) {
  TraceState& s = State();
  if (!s.has_mechanism.load()) return;
  const bool call_tree = s.call_tree.load();
  std::vector<std::string>* stack =
      call_tree ? &LibraryState<TraceCallStack>().names : nullptr;
  std::string name(MethodName);
  if (name.empty() && stack && !stack->empty()) name = stack->back();
  // The stack is unwound also when the mechanism fails.
  struct Unwind {
    std::vector<std::string>* stack;
    const std::string& name;
    ~Unwind() {
      if (!stack) return;
      while (!stack->empty()) {
        const std::string& top = stack->back();
        if (top.empty() || EqualsNoCase(top, name)) break;
        stack->pop_back();
      }
      if (!stack->empty()) stack->pop_back();
    }
  } unwind{stack, name};
  Trace(STL_FunctionEntry, name, "Leave " + name);
}

std::vector<std::string> KVLTrace::CallStack() {
  return LibraryState<TraceCallStack>().names;
}

}  // namespace kvl
