// The library-wide timer table: the running TimerObjs of this thread, each
// held by a counted reference, and the routing of their loop timers' firings
// to them. A maximum count of 0 means no limit; the library never sets
// another (SetMaximumForTesting exists for the limit's own tests).
//
// Library state (LibraryState<TimerTable>()), one per thread. When the
// thread ends the table kills its loop timers and releases its timers.
#ifndef KVL_TIMERS_INTERNAL_TIMER_TABLE_H_
#define KVL_TIMERS_INTERNAL_TIMER_TABLE_H_

#include <cstdint>
#include <vector>

#include "kvl/runtime/export.h"
#include "kvl/runtime/object.h"

namespace kvl {

class TimerObj;

class KVL_INTERNAL_EXPORT TimerTable {
 public:
  TimerTable() = default;
  ~TimerTable();
  TimerTable(const TimerTable&) = delete;
  TimerTable& operator=(const TimerTable&) = delete;

  // Appends `t` (stopping the loop timer it still has) and starts a loop
  // timer of t's Interval; returns its id, or 0 for an Interval of 0.
  // Raises 1001 "Too many timers" when a non-zero maximum is reached.
  uint32_t Start(TimerObj& t);
  // Kills loop timer `id` and removes the first entry that has it; false
  // for 0 or an id no entry has.
  bool Stop(uint32_t id);
  bool IsActive(uint32_t id) const;
  // Removes the first entry with `id` without killing its loop timer.
  bool Remove(uint32_t id);
  // The loop timer `id` is due: PulseTimer on the first entry that has it.
  void Callback(uint32_t id);

  size_t size() const { return entries_.size(); }
  void SetMaximumForTesting(int32_t maximum) { maximum_ = maximum; }

 private:
  std::vector<Ref<TimerObj>>::iterator Find(uint32_t id);

  std::vector<Ref<TimerObj>> entries_;
  int32_t maximum_ = 0;
};

}  // namespace kvl

#endif  // KVL_TIMERS_INTERNAL_TIMER_TABLE_H_
