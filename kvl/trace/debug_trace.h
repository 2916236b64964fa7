// KVLDebugTrace: the trace mechanism that passes every line on as the
// notification Trace of __KVLDebugTrace, so that a client decides where
// lines go (a window, its own log) without implementing a mechanism.
//
// Connect and Connected are true, Disconnect does nothing; Trace fires
// Trace(aTimestamp, theSource, s) with the three texts unchanged to every
// connected sink (a sink of KVLDebugTraceEvents, or any object with a
// member "Trace"). The default interface has no members of its own: the
// mechanism members are those of IKVLTraceMechanism.
//
// Ownership: sinks are held until disconnected. Threading: KVLTrace calls
// the mechanism on the tracing thread under its lock, so sinks are called
// on whichever thread traces; connect them before the mechanism is used
// from other threads.
//
//   auto debug = MakeRef<KVLDebugTrace>();
//   debug->Connect(sink);                 // sink has Trace(stamp, src, s)
//   trace->SetTraceMechanismRef(debug);
#ifndef KVL_TRACE_DEBUG_TRACE_H_
#define KVL_TRACE_DEBUG_TRACE_H_

#include <cstdint>
#include <string>

#include "kvl/runtime/class_info.h"
#include "kvl/runtime/export.h"
#include "kvl/runtime/notifier.h"
#include "kvl/runtime/object.h"
#include "kvl/trace/kvl_trace.h"

namespace kvl {

// The outgoing interface __KVLDebugTrace.
class KVL_EXPORT KVLDebugTraceEvents {
 public:
  static const ClassInfo& StaticClass();
  virtual void Trace(const std::string& aTimestamp,
                     const std::string& theSource, const std::string& s) = 0;

 protected:
  ~KVLDebugTraceEvents() = default;
};

// Creatable (kind 2).
class KVL_EXPORT KVLDebugTrace : public Object, public IKVLTraceMechanism {
  KVL_DECLARE_CLASS(KVLDebugTrace)
 public:
  KVLDebugTrace() = default;

  bool Connect() override { return true; }
  void Disconnect() override {}
  bool Connected() override { return true; }
  void Trace(const std::string& aTimestamp, const std::string& theSource,
             const std::string& s) override;

  // Connects a sink of __KVLDebugTrace (typed or by name); see notifier.h.
  uint32_t Connect(Ref<Object> sink) {
    return notifications_.Connect(std::move(sink));
  }
  bool Disconnect(uint32_t cookie) { return notifications_.Disconnect(cookie); }

 private:
  Notifier<KVLDebugTraceEvents> notifications_;
};

}  // namespace kvl

#endif  // KVL_TRACE_DEBUG_TRACE_H_
