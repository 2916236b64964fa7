#include "kvl/trace/debug_trace.h"

#include "kvl/frame/catalogue.h"

namespace kvl {

const ClassInfo& KVLDebugTraceEvents::StaticClass() {
  static const ClassInfo info =
      ClassBuilder<KVLDebugTraceEvents>("__KVLDebugTrace",
                                        ClassKind::kNotification)
          .Method<&KVLDebugTraceEvents::Trace>(
              "Trace", {Arg("aTimestamp"), Arg("theSource"), Arg("s")})
          .Build();
  return info;
}

const ClassInfo& KVLDebugTrace::StaticClass() {
  static const ClassInfo info =
      ClassBuilder<KVLDebugTrace>("KVLDebugTrace", ClassKind::kCreatable)
          .Implements(&IKVLTraceMechanism::StaticClass)
          .Notifies(&KVLDebugTraceEvents::StaticClass)
          .Build();
  return info;
}
KVL_REGISTER_CLASS(KVLDebugTrace)

void KVLDebugTrace::Trace(const std::string& aTimestamp,
                          const std::string& theSource, const std::string& s) {
  notifications_.Fire<&KVLDebugTraceEvents::Trace>("Trace", aTimestamp,
                                                   theSource, s);
}

}  // namespace kvl
