// TimerObj: a timer on the calling thread's message loop that fires its
// notification Time once (TriggerOnce, the default) or every Interval
// milliseconds until stopped.
//
// Setting Interval to a value other than 0 starts the timer when StartNow is
// true (the default); StartTimer starts it explicitly. Starting a running
// timer replaces its loop timer. A running TimerObj is kept alive by the
// library-wide timer table (internal/timer_table.h), so a client may drop
// its reference and still get Time; a repeating timer runs until StopTimer.
// A negative Interval is taken as unsigned milliseconds, like the platform's
// timers. Sinks connect through Connect (or the runtime's connection
// points) and are called typed through TimerObjEvents or by the name "Time".
//
// Threading: Time arrives on the thread that started the timer, from its
// message loop. No locks.
//
//   auto t = MakeRef<TimerObj>();
//   t->Connect(sink);          // sink.Time() in 500 ms
//   t->SetInterval(500);
//   MessageLoop::Current().RunFor(500);
#ifndef KVL_TIMERS_TIMER_OBJ_H_
#define KVL_TIMERS_TIMER_OBJ_H_

#include <cstdint>

#include "kvl/runtime/class_info.h"
#include "kvl/runtime/export.h"
#include "kvl/runtime/notifier.h"
#include "kvl/runtime/object.h"
#include "kvl/runtime/variant.h"

namespace kvl {

// The outgoing interface __TimerObj.
class KVL_EXPORT TimerObjEvents {
 public:
  static const ClassInfo& StaticClass();
  virtual void Time() = 0;

 protected:
  ~TimerObjEvents() = default;
};

// Creatable (kind 2).
class KVL_EXPORT TimerObj : public Object {
  KVL_DECLARE_CLASS(TimerObj)
 public:
  TimerObj() = default;
  // Stops the timer.
  ~TimerObj() override;

  int32_t Interval() const { return interval_; }
  bool TriggerOnce() const { return trigger_once_; }
  void SetTriggerOnce(bool v) { trigger_once_ = v; }
  bool StartNow() const { return start_now_; }
  void SetStartNow(bool v) { start_now_ = v; }
  // Stops a running timer; false in every case.
  bool StopTimer();
  // Starts (or restarts) the timer; false, doing nothing, when Interval is
  // 0. Raises 1001 when the timer table is full.
  bool StartTimer();
  // Stores `v` and, when it is not 0 and StartNow is true, starts the timer.
  // Setting 0 does not stop a running timer.
  void SetInterval(int32_t v);
  // Stops the timer when TriggerOnce is true, then fires Time. Called from
  // the loop when the timer is due; clients may call it too.
  void PulseTimer();
  void SetID(const Variant& v) { id_value_ = v; }
  Variant ID() const { return id_value_; }

  uint32_t Connect(Ref<Object> sink) { return time_.Connect(std::move(sink)); }
  bool Disconnect(uint32_t cookie) { return time_.Disconnect(cookie); }

  // The loop timer's id while running, 0 when stopped.
  uint32_t TimerId() const { return timer_id_; }
  // Forgets the loop timer without touching the table (the table calls it
  // when it ends and kills the timers itself).
  void ForgetTimer() { timer_id_ = 0; }

 private:
  int32_t interval_ = 0;
  bool trigger_once_ = true;
  bool start_now_ = true;
  Variant id_value_;
  uint32_t timer_id_ = 0;
  Notifier<TimerObjEvents> time_;
};

}  // namespace kvl

#endif  // KVL_TIMERS_TIMER_OBJ_H_
