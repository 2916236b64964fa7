#include "kvl/events/timer_form.h"

#include <cmath>
#include <utility>

#include "kvl/runtime/clock.h"
#include "kvl/runtime/message_loop.h"

namespace kvl::internal {

TimerForm::TimerForm(std::function<void()> on_tick)
    : on_tick_(std::move(on_tick)), last_tick_(Clock::Now()) {}

TimerForm::~TimerForm() {
  MessageLoop& loop = MessageLoop::Current();
  if (timer1_.id != 0) loop.KillTimer(timer1_.id);
  if (timer2_.id != 0) loop.KillTimer(timer2_.id);
}

void TimerForm::Sync(Slot& slot, void (TimerForm::*fired)()) {
  MessageLoop& loop = MessageLoop::Current();
  if (slot.id != 0) loop.KillTimer(std::exchange(slot.id, 0));
  if (slot.enabled && slot.interval > 0) {
    slot.id = loop.SetTimer(static_cast<uint32_t>(slot.interval),
                            [this, fired](uint32_t) { (this->*fired)(); });
  }
}

void TimerForm::SetTimerResolution(int16_t ms) {
  timer1_.interval = ms;
  Sync(timer1_, &TimerForm::Timer1Fired);
}

void TimerForm::SetTimerEnabled(bool enabled) {
  if (enabled) last_tick_ = Clock::Now();
  timer1_.enabled = enabled;
  Sync(timer1_, &TimerForm::Timer1Fired);
}

void TimerForm::SetInterval(int16_t ms) {
  timer2_.interval = ms;
  timer2_.enabled = true;
  Sync(timer2_, &TimerForm::Timer2Fired);
}

void TimerForm::SetTimer2Enabled(bool enabled) {
  timer2_.enabled = enabled;
  Sync(timer2_, &TimerForm::Timer2Fired);
}

void TimerForm::Timer1Fired() {
  Date now = Clock::Now();
  // Whole seconds elapsed, so that a tick never comes early by rounding.
  const int64_t elapsed_ms =
      std::llround((now.days - last_tick_.days) * 86'400'000.0);
  if (elapsed_ms / 1000 < tick_frequency_) return;
  last_tick_ = now;
  // The handler may end the form, and with it on_tick_.
  std::function<void()> tick = on_tick_;
  if (tick) tick();
}

void TimerForm::Timer2Fired() {
  std::function<void()> callback = std::move(callback_);
  callback_ = nullptr;
  SetTimer2Enabled(false);
  if (callback) callback();  // may end the form
}

}  // namespace kvl::internal
