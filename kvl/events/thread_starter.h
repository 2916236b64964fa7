// ThreadStarter: calls an IRunnable's Run once, about 220 ms after Runnable
// is set, from the message loop of the thread that set it, and then lets
// the runnable go. Setting Runnable again before then starts over with the
// new runnable (the old one is not run).
//
// Ownership: while armed, the starter is kept alive by the thread's library
// state, so a client may drop its reference right after setting Runnable;
// after Run (or when the thread ends first) it and the runnable are
// released. Failures of Run
// are ignored. Used on one thread.
//
//   auto starter = MakeRef<ThreadStarter>();
//   starter->SetRunnableRef(job);      // job.Run() from the loop, later
#ifndef KVL_EVENTS_THREAD_STARTER_H_
#define KVL_EVENTS_THREAD_STARTER_H_

#include <memory>

#include "kvl/events/timer_form.h"
#include "kvl/runtime/class_info.h"
#include "kvl/runtime/export.h"
#include "kvl/runtime/object.h"

namespace kvl {

// Creatable (kind 2).
class KVL_EXPORT ThreadStarter : public Object {
  KVL_DECLARE_CLASS(ThreadStarter)
 public:
  // The delay between setting Runnable and calling Run.
  static constexpr int16_t kDelay = 220;

  ThreadStarter() = default;
  ~ThreadStarter() override;

  // Arms the starter for `runnable` (an IRunnable, typed or by name).
  void SetRunnableRef(Ref<Object> runnable);
  bool Armed() const { return form_ != nullptr; }

 private:
  void Start();

  Ref<Object> runnable_;
  std::unique_ptr<internal::TimerForm> form_;
};

}  // namespace kvl

#endif  // KVL_EVENTS_THREAD_STARTER_H_
