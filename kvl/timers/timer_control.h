// TimerControl: a timer control for clients that have none to lend, with
// settable Enabled and Interval (milliseconds) and a Timer notification
// fired from the message loop every Interval while enabled.
//
// LongTimer and QueuedTimer drive any object with settable "Enabled" and
// "Interval" by name; TimerControl is the ready-made one. It fires while
// Enabled is true and Interval is above 0. Setting Interval, or enabling a
// disabled control, starts the count from now; enabling an enabled one
// changes nothing. A QueuedTimer given a TimerControl forwards its Timer to
// expire by itself; other clients connect a sink that does.
//
// Ownership: the loop timer refers to the control without owning it and
// ends with it. Threading: Timer arrives on the thread that enabled the
// control, from its message loop.
//
//   auto control = MakeRef<TimerControl>();
//   control->Connect(sink);         // sink.Timer() every 250 ms
//   control->SetInterval(250);
//   control->SetEnabled(true);
#ifndef KVL_TIMERS_TIMER_CONTROL_H_
#define KVL_TIMERS_TIMER_CONTROL_H_

#include <cstdint>

#include "kvl/runtime/class_info.h"
#include "kvl/runtime/export.h"
#include "kvl/runtime/notifier.h"
#include "kvl/runtime/object.h"

namespace kvl {

// The outgoing interface __TimerControl.
class KVL_EXPORT TimerControlEvents {
 public:
  static const ClassInfo& StaticClass();
  virtual void Timer() = 0;

 protected:
  ~TimerControlEvents() = default;
};

// Creatable (kind 2).
class KVL_EXPORT TimerControl : public Object {
  KVL_DECLARE_CLASS(TimerControl)
 public:
  TimerControl() = default;
  ~TimerControl() override;

  bool Enabled() const { return enabled_; }
  void SetEnabled(bool v);
  int32_t Interval() const { return interval_; }
  // Raises 5 for a negative interval.
  void SetInterval(int32_t ms);

  uint32_t Connect(Ref<Object> sink) { return timer_.Connect(std::move(sink)); }
  bool Disconnect(uint32_t cookie) { return timer_.Disconnect(cookie); }

 private:
  // Arms or kills the loop timer to match Enabled and Interval.
  void Sync();
  void Fire();

  bool enabled_ = false;
  int32_t interval_ = 0;
  uint32_t loop_timer_ = 0;
  Notifier<TimerControlEvents> timer_;
};

}  // namespace kvl

#endif  // KVL_TIMERS_TIMER_CONTROL_H_
