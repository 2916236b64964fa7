// LongTimer: an interval of any length, counted in 55 ms clock ticks and
// run down over a timer control in steps of at most one minute; when it
// has run out the Notify object's "TimerExpire" is called by name with the
// timer's Name.
//
// The control is any object with settable "Enabled" and "Interval"
// (milliseconds), set by name (a TimerControl, or a client's own). The
// client forwards each firing of the control to expire(), which re-arms the
// control for the rest of the interval or expires the timer. Without a
// control only the interval is recorded. A clock tick is the library
// clock's millisecond counter read as signed 32 bits, divided by 55 and
// rounded to the nearest integer.
//
// C++ names: the published "Interval" let (seconds) is SetIntervalSeconds,
// because the published "SetInterval" let (milliseconds, recorded without
// arming) is SetInterval.
//
// Failures of the control and of the notify object reach the caller; tick
// arithmetic that leaves 32 bits raises 6. Holds counted references to the
// control and the notify object. Used on one thread.
//
//   auto t = MakeRef<LongTimer>();
//   t->SetName("Backup");
//   t->SetNotifyRef(job);          // job.TimerExpire("Backup") in an hour
//   t->SetTimerRef(control);       // control's Timer forwarded to t->expire()
//   t->SetIntervalSeconds(3600);   // control armed for 60000 ms
#ifndef KVL_TIMERS_LONG_TIMER_H_
#define KVL_TIMERS_LONG_TIMER_H_

#include <cstdint>
#include <string>

#include "kvl/runtime/class_info.h"
#include "kvl/runtime/export.h"
#include "kvl/runtime/object.h"
#include "kvl/runtime/variant.h"

namespace kvl {

// Creatable (kind 2).
class KVL_EXPORT LongTimer : public Object {
  KVL_DECLARE_CLASS(LongTimer)
 public:
  // The longest step the control is armed for.
  static constexpr int32_t kMaxStep = 60000;
  static constexpr int32_t kTickMilliseconds = 55;

  // The current clock tick.
  static int32_t ClockTick();

  // Disables the control (Interval 0) and stops running.
  void cancelTimer();
  // Now plus RemainingSeconds.
  Date CompletionTime() const;
  // True once the interval ran out (never reset).
  Variant expired() const { return Variant(expired_); }
  bool IsExpired() const { return expired_; }
  // Forwarded firing of the control: re-arms it for the rest, or expires.
  // Does nothing without a control.
  void expire();
  int32_t FineInterval() const { return RemainingMilliSeconds(); }
  // Records the interval and arms the control for the first step, or
  // expires at once when less than 1 ms is left.
  void SetFineInterval(int32_t ms);
  int32_t Interval() const { return RemainingSeconds(); }
  // SetFineInterval(s * 1000); raises 6 above 2147483 seconds.
  void SetIntervalSeconds(int32_t s);
  const std::string& Name() const { return name_; }
  void SetName(const std::string& name) { name_ = name; }
  Ref<Object> Notify() const { return notify_; }
  void SetNotifyRef(Ref<Object> notify) { notify_ = std::move(notify); }
  int32_t Remaining() const { return RemainingClockTicks(); }
  // Completion tick minus the current tick; negative after completion.
  int32_t RemainingClockTicks() const;
  int32_t RemainingMilliSeconds() const;
  // RemainingMilliSeconds / 1000, halves to the even neighbour.
  int32_t RemainingSeconds() const;
  bool Running() const { return running_; }
  // Records an interval of `ms` from now without touching the control.
  void SetInterval(int32_t ms);
  // Stores the control and, when it is not Nothing, disables it
  // (Interval 0).
  void SetTimerRef(Ref<Object> control);
  // «Name=… Remaining=… Completion=…» (completion in the long time format).
  std::string ToString() const;

  const Ref<Object>& Control() const { return control_; }
  // The clock tick at which the interval ends.
  int32_t CompletionTick() const { return completion_tick_; }

 private:
  friend class QueuedTimer;  // adds its timers without a second arming

  // The members that read the clock more than once read it once, as
  // `now`, so that one call sees one instant.
  // SetFineInterval(ms) as of tick `now`.
  void RunDown(int32_t ms, int32_t now);
  void SetIntervalAt(int32_t ms, int32_t now);
  int32_t RemainingMilliSecondsAt(int32_t now) const;

  Ref<Object> control_;
  int32_t interval_ticks_ = 0;
  std::string name_;
  Ref<Object> notify_;
  int32_t completion_tick_ = 0;
  bool running_ = false;
  bool expired_ = false;
};

}  // namespace kvl

#endif  // KVL_TIMERS_LONG_TIMER_H_
