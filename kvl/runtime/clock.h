// Clock: the one place the library asks for the current time.
//
// Now() is the local date and time as a Date (days since 1899-12-30, see
// date_time.h); TickCount() is a millisecond counter that wraps at 2^32, like
// the platform's tick counter. Nothing in the library reads the system clock
// any other way, so tests can replace both with a manual clock.
//
// In manual mode the clock stands still until Advance() moves it; Now() and
// TickCount() move together. The clock is process-wide; tests that set it
// should use ScopedManualClock so that it is restored.
//
//   ScopedManualClock clock(MakeDate(2004, 2, 3, 14, 5, 9));
//   clock.Advance(1500);   // 1.5 seconds later, for Now() and TickCount()
#ifndef KVL_RUNTIME_CLOCK_H_
#define KVL_RUNTIME_CLOCK_H_

#include <cstdint>

#include "kvl/runtime/variant.h"

namespace kvl {

class Clock {
 public:
  static Date Now();
  static uint32_t TickCount();

  // Switches to a manual clock that reads `now` and `ticks` until advanced.
  static void SetManual(Date now, uint32_t ticks = 0);
  // Moves a manual clock forward by `milliseconds` (no effect on the system
  // clock, nor for milliseconds <= 0).
  static void Advance(int64_t milliseconds);
  // Back to the system clock.
  static void UseSystem();
  static bool IsManual();
};

class ScopedManualClock {
 public:
  explicit ScopedManualClock(Date now, uint32_t ticks = 0) {
    Clock::SetManual(now, ticks);
  }
  ~ScopedManualClock() { Clock::UseSystem(); }
  ScopedManualClock(const ScopedManualClock&) = delete;
  ScopedManualClock& operator=(const ScopedManualClock&) = delete;
  void Advance(int64_t milliseconds) { Clock::Advance(milliseconds); }
};

}  // namespace kvl

#endif  // KVL_RUNTIME_CLOCK_H_
