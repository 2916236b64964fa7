#include "kvl/timers/internal/timer_table.h"

#include <algorithm>
#include <utility>

#include "kvl/frame/library.h"
#include "kvl/runtime/error.h"
#include "kvl/runtime/message_loop.h"
#include "kvl/timers/timer_obj.h"

namespace kvl {

KVL_REGISTER_LIBRARY_STATE(TimerTable)

TimerTable::~TimerTable() {
  std::vector<Ref<TimerObj>> entries = std::move(entries_);
  for (const Ref<TimerObj>& t : entries) {
    MessageLoop::Current().KillTimer(t->TimerId());
    t->ForgetTimer();
  }
  // Releasing them last: their destructors find nothing left to stop.
}

std::vector<Ref<TimerObj>>::iterator TimerTable::Find(uint32_t id) {
  return std::find_if(
      entries_.begin(), entries_.end(),
      [id](const Ref<TimerObj>& t) { return t->TimerId() == id; });
}

uint32_t TimerTable::Start(TimerObj& t) {
  if (maximum_ != 0 && entries_.size() >= static_cast<size_t>(maximum_)) {
    Raise(kErrTooManyTimers, "KVLTimer.StartATimer", "Too many timers");
  }
  if (IsActive(t.TimerId())) Stop(t.TimerId());
  entries_.push_back(Ref<TimerObj>(&t));
  if (t.Interval() == 0) return 0;
  return MessageLoop::Current().SetTimer(static_cast<uint32_t>(t.Interval()),
                                         [this](uint32_t id) { Callback(id); });
}

bool TimerTable::Stop(uint32_t id) {
  if (id == 0) return false;
  auto it = Find(id);
  if (it == entries_.end()) return false;
  bool killed = MessageLoop::Current().KillTimer(id);
  Ref<TimerObj> gone = std::move(*it);
  entries_.erase(it);
  return killed;
}

bool TimerTable::IsActive(uint32_t id) const {
  return id != 0 && std::any_of(entries_.begin(), entries_.end(),
                                [id](const Ref<TimerObj>& t) {
                                  return t->TimerId() == id;
                                });
}

bool TimerTable::Remove(uint32_t id) {
  auto it = Find(id);
  if (it == entries_.end()) return false;
  Ref<TimerObj> gone = std::move(*it);
  entries_.erase(it);
  return true;
}

void TimerTable::Callback(uint32_t id) {
  auto it = Find(id);
  if (it == entries_.end()) return;
  Ref<TimerObj> t = *it;  // PulseTimer may take it out of the table
  t->PulseTimer();
}

}  // namespace kvl
