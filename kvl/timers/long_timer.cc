#include "kvl/timers/long_timer.h"

#include <cmath>

#include "kvl/frame/catalogue.h"
#include "kvl/runtime/checked.h"
#include "kvl/runtime/clock.h"
#include "kvl/runtime/date_time.h"
#include "kvl/timers/internal/control.h"

namespace kvl {
namespace {

// a / b rounded to the nearest integer, halves to the even neighbour.
int64_t DivideRounded(int64_t a, int64_t b) {
  return static_cast<int64_t>(
      std::nearbyint(static_cast<double>(a) / static_cast<double>(b)));
}

}  // namespace

const ClassInfo& LongTimer::StaticClass() {
  static const ClassInfo info =
      ClassBuilder<LongTimer>("LongTimer", ClassKind::kCreatable)
          .Method<&LongTimer::cancelTimer>("cancelTimer")
          .Get<&LongTimer::CompletionTime>("CompletionTime")
          .Get<&LongTimer::expired>("expired")
          .Method<&LongTimer::expire>("expire")
          .Get<&LongTimer::FineInterval>("FineInterval")
          .Let<&LongTimer::SetFineInterval>("FineInterval")
          .Get<&LongTimer::Interval>("Interval")
          .Let<&LongTimer::SetIntervalSeconds>("Interval")
          .Get<&LongTimer::Name>("Name")
          .Let<&LongTimer::SetName>("Name")
          .Get<&LongTimer::Notify>("Notify")
          .Set<&LongTimer::SetNotifyRef>("Notify")
          .Get<&LongTimer::Remaining>("Remaining")
          .Get<&LongTimer::RemainingClockTicks>("RemainingClockTicks")
          .Get<&LongTimer::RemainingMilliSeconds>("RemainingMilliSeconds")
          .Get<&LongTimer::RemainingSeconds>("RemainingSeconds")
          .Get<&LongTimer::Running>("Running")
          .Let<&LongTimer::SetInterval>("SetInterval")
          .Set<&LongTimer::SetTimerRef>("Timer")
          .Get<&LongTimer::ToString>("ToString")
          .Build();
  return info;
}
KVL_REGISTER_CLASS(LongTimer)

int32_t LongTimer::ClockTick() {
  auto ms = static_cast<int32_t>(Clock::TickCount());
  return static_cast<int32_t>(DivideRounded(ms, kTickMilliseconds));
}

void LongTimer::cancelTimer() {
  if (control_) internal::ResetControl(*control_);
  running_ = false;
}

Date LongTimer::CompletionTime() const {
  return AddSeconds(Clock::Now(), RemainingSeconds());
}

void LongTimer::expire() {
  if (!control_) return;
  int32_t now = ClockTick();
  RunDown(RemainingMilliSecondsAt(now), now);
}

void LongTimer::SetFineInterval(int32_t ms) {
  RunDown(ms, ClockTick());
}

void LongTimer::RunDown(int32_t ms, int32_t now) {
  SetIntervalAt(ms, now);
  int32_t rem = RemainingMilliSecondsAt(now);
  if (!control_) return;
  Ref<LongTimer> keep(this);  // the notify object may drop the last reference
  if (rem < 1) {
    internal::DisableControl(*control_);
    expired_ = true;
    if (notify_) {
      Variant name(name_);
      Ref<Object> notify = notify_;
      notify->Invoke("TimerExpire", CallKind::kMethod,
                     std::span<Variant>(&name, 1));
    }
    return;
  }
  internal::ArmControl(*control_, rem > kMaxStep ? kMaxStep : rem);
  running_ = true;
}

void LongTimer::SetIntervalSeconds(int32_t s) {
  SetFineInterval(CheckedCast<int32_t>(int64_t{s} * 1000));
}

int32_t LongTimer::RemainingClockTicks() const {
  return CheckedAdd<int32_t>(completion_tick_, -int64_t{ClockTick()});
}

int32_t LongTimer::RemainingMilliSeconds() const {
  return RemainingMilliSecondsAt(ClockTick());
}

int32_t LongTimer::RemainingMilliSecondsAt(int32_t now) const {
  int32_t ticks = CheckedAdd<int32_t>(completion_tick_, -int64_t{now});
  return CheckedCast<int32_t>(int64_t{ticks} * kTickMilliseconds);
}

int32_t LongTimer::RemainingSeconds() const {
  return static_cast<int32_t>(DivideRounded(RemainingMilliSeconds(), 1000));
}

void LongTimer::SetInterval(int32_t ms) {
  SetIntervalAt(ms, ClockTick());
}

void LongTimer::SetIntervalAt(int32_t ms, int32_t now) {
  running_ = false;
  interval_ticks_ = static_cast<int32_t>(DivideRounded(ms, kTickMilliseconds));
  completion_tick_ = CheckedAdd<int32_t>(interval_ticks_, now);
}

void LongTimer::SetTimerRef(Ref<Object> control) {
  control_ = std::move(control);
  if (control_) internal::ResetControl(*control_);
}

std::string LongTimer::ToString() const {
  return "Name=" + name_ +
         " Remaining=" + std::to_string(RemainingMilliSeconds()) +
         " Completion=" + FormatLongTime(CompletionTime());
}

}  // namespace kvl
