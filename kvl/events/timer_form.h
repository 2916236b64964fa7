// TimerForm: the event subsystem's private pair of loop timers. Timer1 is
// the bus's heartbeat: every TimerResolution milliseconds it checks whether
// TickFrequency whole seconds have passed on the clock since the last tick
// and, when they have, calls the tick handler.
// Timer2 is a one-shot: SetInterval(ms) starts it, and when it fires the
// callback is called once and released.
//
// Ownership: owned by one EventBus or ThreadStarter; destroying it (the
// "unload") kills both timers. The handlers may destroy the form; the form
// touches nothing of itself after calling them. Failures of the handlers
// are contained by the loop. Used on the thread that made it; both timers
// fire from that thread's message loop.
//
//   TimerForm form([bus] { bus->Tick(); });
//   form.SetTickFrequency(1);
//   form.SetTimerResolution(250);
//   form.SetTimerEnabled(true);     // a tick about every second
#ifndef KVL_EVENTS_TIMER_FORM_H_
#define KVL_EVENTS_TIMER_FORM_H_

#include <cstdint>
#include <functional>

#include "kvl/runtime/export.h"
#include "kvl/runtime/variant.h"

namespace kvl::internal {

class KVL_EXPORT TimerForm {
 public:
  explicit TimerForm(std::function<void()> on_tick = {});
  ~TimerForm();
  TimerForm(const TimerForm&) = delete;
  TimerForm& operator=(const TimerForm&) = delete;

  void SetTickFrequency(int16_t seconds) { tick_frequency_ = seconds; }
  // Timer1's interval; 0 (or less) leaves it silent.
  void SetTimerResolution(int16_t ms);
  // True: the last tick is now and Timer1 runs; false: Timer1 stops.
  void SetTimerEnabled(bool enabled);
  void SetCallBack(std::function<void()> callback) {
    callback_ = std::move(callback);
  }
  // Timer2's interval; starts it.
  void SetInterval(int16_t ms);
  void SetTimer2Enabled(bool enabled);

 private:
  // A loop timer with an interval and an enabled flag: it runs while both
  // allow.
  struct Slot {
    int16_t interval = 0;
    bool enabled = false;
    uint32_t id = 0;
  };
  void Sync(Slot& slot, void (TimerForm::*fired)());
  void Timer1Fired();
  void Timer2Fired();

  std::function<void()> on_tick_;
  std::function<void()> callback_;
  int16_t tick_frequency_ = 0;
  Date last_tick_;
  Slot timer1_;
  Slot timer2_;
};

}  // namespace kvl::internal

#endif  // KVL_EVENTS_TIMER_FORM_H_
