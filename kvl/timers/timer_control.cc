#include "kvl/timers/timer_control.h"

#include <utility>

#include "kvl/frame/catalogue.h"
#include "kvl/runtime/error.h"
#include "kvl/runtime/message_loop.h"

namespace kvl {

const ClassInfo& TimerControlEvents::StaticClass() {
  static const ClassInfo info = ClassBuilder<TimerControlEvents>(
                                    "__TimerControl", ClassKind::kNotification)
                                    .Method<&TimerControlEvents::Timer>("Timer")
                                    .Build();
  return info;
}

const ClassInfo& TimerControl::StaticClass() {
  static const ClassInfo info =
      ClassBuilder<TimerControl>("TimerControl", ClassKind::kCreatable)
          .Get<&TimerControl::Enabled>("Enabled")
          .Let<&TimerControl::SetEnabled>("Enabled")
          .Get<&TimerControl::Interval>("Interval")
          .Let<&TimerControl::SetInterval>("Interval")
          .Notifies(&TimerControlEvents::StaticClass)
          .Build();
  return info;
}
KVL_REGISTER_CLASS(TimerControl)

TimerControl::~TimerControl() {
  if (loop_timer_ != 0) MessageLoop::Current().KillTimer(loop_timer_);
}

void TimerControl::SetEnabled(bool v) {
  if (v == enabled_) return;
  enabled_ = v;
  Sync();
}

void TimerControl::SetInterval(int32_t ms) {
  if (ms < 0) Raise(kErrInvalidArgument);
  interval_ = ms;
  Sync();
}

void TimerControl::Sync() {
  MessageLoop& loop = MessageLoop::Current();
  bool run = enabled_ && interval_ > 0;
  // A running loop timer is restarted in place: the same as a new one.
  if (run && loop_timer_ != 0 &&
      loop.ResetTimer(loop_timer_, static_cast<uint32_t>(interval_))) {
    return;
  }
  if (loop_timer_ != 0) loop.KillTimer(std::exchange(loop_timer_, 0));
  if (run) {
    loop_timer_ = loop.SetTimer(static_cast<uint32_t>(interval_),
                                [this](uint32_t) { Fire(); });
  }
}

void TimerControl::Fire() {
  Ref<TimerControl> keep(this);  // a sink may drop the last reference
  timer_.Fire<&TimerControlEvents::Timer>("Timer");
}

}  // namespace kvl
