// QueuedTimer: any number of named long timers over one timer control.
// The timers wait in a SortedCollection ordered by a TimerComparator
// (earliest completion first, equal completions in insertion order); the
// control is always armed for the first one, in steps of at most a minute.
// Each forwarded firing of the control (expire) retires every timer that
// has run out, calling its notifier's "TimerExpire"(name) in completion
// order.
//
// The control is any object with settable "Enabled" and "Interval" by name.
// A TimerControl given to Timer is followed by the queue itself: its Timer
// notification reaches expire without a client sink (the connection does
// not own the queue and ends with it or with the next control).
//
// Re-entrancy: notifiers run inside expire; adding or cancelling from
// there only marks the pass to run again, and the next pass arms the
// control for the new first timer. AddFineTimer, CancelByName and expire
// end quietly on any failure; a failing notifier leaves its timer first in
// the queue with the control disabled, so the next expire or ReSynch
// notifies it again.
//
// Owns its queue (and so the timers) and a reference to the control. Used
// on one thread.
//
//   auto queue = MakeRef<QueuedTimer>();
//   queue->SetTimerRef(MakeRef<TimerControl>());
//   queue->AddTimer("Backup", 3600, job);   // job.TimerExpire("Backup")
//   queue->AddFineTimer("Poll", 5000, job);
//   std::string q = queue->Query();   // «Timer interval: 5005 ... »
#ifndef KVL_TIMERS_QUEUED_TIMER_H_
#define KVL_TIMERS_QUEUED_TIMER_H_

#include <cstdint>
#include <memory>
#include <string>

#include "kvl/collections/sorted_collection.h"
#include "kvl/collections/sorted_comparator.h"
#include "kvl/runtime/class_info.h"
#include "kvl/runtime/export.h"
#include "kvl/runtime/object.h"
#include "kvl/timers/long_timer.h"

namespace kvl {

// Creatable (kind 2): orders LongTimers by RemainingClockTicks (read by
// name from objects that are not LongTimers).
class KVL_EXPORT TimerComparator final : public Object, public IComparator {
  KVL_DECLARE_CLASS(TimerComparator)
 public:
  // The sign of o1's RemainingClockTicks minus o2's: -1, 0 or 1.
  int16_t compare(const Ref<Object>& dummy, const Ref<Object>& o1,
                  const Ref<Object>& o2) override;
};

namespace internal {
class QueueFollower;
class TimerQueue;
}  // namespace internal

// Creatable (kind 2).
class KVL_EXPORT QueuedTimer : public Object {
  KVL_DECLARE_CLASS(QueuedTimer)
 public:
  QueuedTimer();
  ~QueuedTimer() override;

  // A new timer of `MilliSeconds` queued and armed for; Nothing, changing
  // nothing, for an empty name, a Nothing notifier or before Timer is set.
  Ref<LongTimer> AddFineTimer(const std::string& Name, int32_t MilliSeconds,
                              Ref<Object> notifier);
  // AddFineTimer with Interval seconds; raises 6 above 2147483 seconds.
  Ref<LongTimer> AddTimer(const std::string& Name, int32_t Interval,
                          Ref<Object> notifier);
  // CancelByName(t's Name): the first timer of that name goes.
  void Cancel(Ref<LongTimer> t);
  // Cancels and removes the first queued timer named exactly `Name`, then
  // re-arms the control for the first timer.
  void CancelByName(const std::string& Name);
  // Disables the control and empties the queue without cancelling or
  // notifying. Raises 91 without a control.
  void Clear();
  void expire();
  // «Timer interval: … Timer enabled:… QueueSize:… Timer=… Remaining=…».
  // Raises what the control raises.
  std::string Query();
  // The queue itself: changes made to it are changes to the queue.
  Ref<SortedCollection> Queue() const;
  // Re-arms a control that other code disabled while timers are queued.
  // Raises 91 without a control.
  void ReSynch();
  Ref<Object> Timer() const { return control_; }
  void SetTimerRef(Ref<Object> control);
  // Accepted and ignored.
  void SetTrace(bool) {}

 private:
  // Queues `t` and arms the control for the first timer in one step, when
  // that is all AddFineTimer's pass would do; false, having queued nothing,
  // otherwise.
  bool AddArmed(const Ref<LongTimer>& t, int32_t ms, Ref<Object>& notifier);
  void Follow(Ref<Object> control);
  void Unfollow();

  std::unique_ptr<internal::TimerQueue> queue_;
  Ref<Object> control_;
  Ref<internal::QueueFollower> follower_;
  uint32_t follow_cookie_ = 0;
  bool busy_ = false;
  bool run_again_ = false;
};

}  // namespace kvl

#endif  // KVL_TIMERS_QUEUED_TIMER_H_
