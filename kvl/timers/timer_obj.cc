#include "kvl/timers/timer_obj.h"

#include <utility>

#include "kvl/frame/catalogue.h"
#include "kvl/frame/library.h"
#include "kvl/timers/internal/timer_table.h"

namespace kvl {

const ClassInfo& TimerObjEvents::StaticClass() {
  static const ClassInfo info =
      ClassBuilder<TimerObjEvents>("__TimerObj", ClassKind::kNotification)
          .Method<&TimerObjEvents::Time>("Time")
          .Build();
  return info;
}

const ClassInfo& TimerObj::StaticClass() {
  static const ClassInfo info =
      ClassBuilder<TimerObj>("TimerObj", ClassKind::kCreatable)
          .Get<&TimerObj::Interval>("Interval")
          .Get<&TimerObj::TriggerOnce>("TriggerOnce")
          .Let<&TimerObj::SetTriggerOnce>("TriggerOnce")
          .Get<&TimerObj::StartNow>("StartNow")
          .Let<&TimerObj::SetStartNow>("StartNow")
          .Method<&TimerObj::StopTimer>("StopTimer")
          .Method<&TimerObj::StartTimer>("StartTimer")
          .Let<&TimerObj::SetInterval>("Interval")
          .Method<&TimerObj::PulseTimer>("PulseTimer")
          .Let<&TimerObj::SetID>("ID")
          .Get<&TimerObj::ID>("ID")
          .Notifies(&TimerObjEvents::StaticClass)
          .Build();
  return info;
}
KVL_REGISTER_CLASS(TimerObj)

TimerObj::~TimerObj() {
  StopTimer();
  interval_ = 0;
}

bool TimerObj::StopTimer() {
  if (timer_id_ != 0) {
    // The table's reference may be the last one.
    Ref<TimerObj> keep(this);
    LibraryState<TimerTable>().Stop(timer_id_);
    timer_id_ = 0;
  }
  return false;
}

bool TimerObj::StartTimer() {
  if (interval_ == 0) return false;
  Ref<TimerObj> keep(this);
  timer_id_ = LibraryState<TimerTable>().Start(*this);
  return true;
}

void TimerObj::SetInterval(int32_t v) {
  interval_ = v;
  if (v != 0 && start_now_) StartTimer();
}

void TimerObj::PulseTimer() {
  Ref<TimerObj> keep(this);
  if (trigger_once_) StopTimer();
  time_.Fire<&TimerObjEvents::Time>("Time");
}

}  // namespace kvl
