// Clock: the one place the library asks for the current time.
//
// Now() is the local date and time as a Date (days since 1899-12-30, see
// date_time.h); TickCount() is a millisecond counter that wraps at 2^32, like
// the platform's tick counter. TickCount64() is the same counter without the
// wrap: TickCount() is its low 32 bits. Nothing in the library reads the
// system clock any other way, so tests can replace both with a manual clock.
//
// In manual mode the clock stands still until Advance() moves it; Now() and
// the tick counter move together. Switching between system and manual time
// keeps the tick counter where it is (unless SetManual is given a tick count
// to start from), so intervals measured on it, and timers armed on it, keep
// their length across a switch. The clock is process-wide.
//
// Tests switch to manual time with ScopedManualClock, which restores the mode
// it found when it ends (scopes nest):
//
//   ScopedManualClock clock(MakeDate(2004, 2, 3, 14, 5, 9));
//   clock.Advance(1500);   // 1.5 seconds later, for Now() and TickCount()
#ifndef KVL_RUNTIME_CLOCK_H_
#define KVL_RUNTIME_CLOCK_H_

#include <cstdint>
#include <optional>

#include "kvl/runtime/export.h"
#include "kvl/runtime/variant.h"

namespace kvl {

class KVL_EXPORT Clock {
 public:
  static Date Now();
  static uint32_t TickCount();
  static uint64_t TickCount64();

  // Switches to a manual clock that reads `now` until advanced. The tick
  // counter goes on from where it is, or starts from `ticks` when given.
  static void SetManual(Date now, std::optional<uint32_t> ticks = std::nullopt);
  // Moves a manual clock forward by `milliseconds` (no effect on the system
  // clock, nor for milliseconds <= 0).
  static void Advance(int64_t milliseconds);
  // Back to the system clock; the tick counter goes on from where it is.
  static void UseSystem();
  static bool IsManual();

  // One reading of the clock for callers that keep their own conversion to
  // local time (the trace stamp caches the time-zone offset instead of
  // looking it up per line, as Now() does). A manual clock has no time
  // zone: it gives its local Date.
  struct Reading {
    bool manual = false;
    Date local;           // a manual clock's Now()
    int64_t unix_ms = 0;  // the system clock: ms since 1970-01-01 UTC
  };
  static Reading Read();

 private:
  friend class ScopedManualClock;
  // Manual time at `now`, the tick counter at `ticks`.
  static void SetManualAt(Date now, uint64_t ticks);
};

class KVL_EXPORT ScopedManualClock {
 public:
  explicit ScopedManualClock(Date now,
                             std::optional<uint32_t> ticks = std::nullopt);
  // Restores the mode found at construction. A manual clock found there
  // resumes where it stood, moved on by the time that passed in this scope.
  ~ScopedManualClock();
  ScopedManualClock(const ScopedManualClock&) = delete;
  ScopedManualClock& operator=(const ScopedManualClock&) = delete;
  void Advance(int64_t milliseconds) { Clock::Advance(milliseconds); }

 private:
  bool was_manual_;
  Date was_now_;
  uint64_t start_ticks_;
};

}  // namespace kvl

#endif  // KVL_RUNTIME_CLOCK_H_
