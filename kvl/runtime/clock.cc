#include "kvl/runtime/clock.h"

#include <time.h>

#include <cstdint>
#include <mutex>

#include "kvl/runtime/date_time.h"

namespace kvl {
namespace {

// The manual clock is a starting point plus the milliseconds advanced since,
// so that many small advances do not accumulate rounding in Now(). The
// system tick counter is CLOCK_MONOTONIC plus an offset that keeps the
// counter going on where a manual clock left it.
struct ClockState {
  std::mutex mu;
  bool manual = false;
  Date start;
  uint64_t start_ticks = 0;
  int64_t elapsed_ms = 0;
  uint64_t system_offset = 0;  // added modulo 2^64
};

ClockState& State() {
  static ClockState* state = new ClockState;  // outlives static destructors
  return *state;
}

timespec ReadClock(clockid_t id) {
  timespec ts{};
  clock_gettime(id, &ts);
  return ts;
}

uint64_t MonotonicMs() {
  timespec ts = ReadClock(CLOCK_MONOTONIC);
  return static_cast<uint64_t>(ts.tv_sec) * 1000u +
         static_cast<uint64_t>(ts.tv_nsec / 1'000'000);
}

// The tick counter; `s.mu` held.
uint64_t TicksLocked(const ClockState& s) {
  if (s.manual) return s.start_ticks + static_cast<uint64_t>(s.elapsed_ms);
  return MonotonicMs() + s.system_offset;
}

}  // namespace

Date Clock::Now() {
  ClockState& s = State();
  {
    std::lock_guard<std::mutex> lock(s.mu);
    if (s.manual) {
      return AddSeconds(s.start, static_cast<double>(s.elapsed_ms) / 1000.0);
    }
  }
  timespec ts = ReadClock(CLOCK_REALTIME);
  return LocalDateFromUnix(ts.tv_sec, static_cast<int>(ts.tv_nsec / 1'000'000));
}

Clock::Reading Clock::Read() {
  ClockState& s = State();
  {
    std::lock_guard<std::mutex> lock(s.mu);
    if (s.manual) {
      double seconds = static_cast<double>(s.elapsed_ms) / 1000.0;
      return Reading{true, AddSeconds(s.start, seconds), 0};
    }
  }
  timespec ts = ReadClock(CLOCK_REALTIME);
  return Reading{false, Date{},
                 int64_t{ts.tv_sec} * 1000 + ts.tv_nsec / 1'000'000};
}

uint64_t Clock::TickCount64() {
  ClockState& s = State();
  std::lock_guard<std::mutex> lock(s.mu);
  return TicksLocked(s);
}

uint32_t Clock::TickCount() {
  return static_cast<uint32_t>(TickCount64());
}

void Clock::SetManualAt(Date now, uint64_t ticks) {
  ClockState& s = State();
  std::lock_guard<std::mutex> lock(s.mu);
  s.manual = true;
  s.start = now;
  s.start_ticks = ticks;
  s.elapsed_ms = 0;
}

void Clock::SetManual(Date now, std::optional<uint32_t> ticks) {
  SetManualAt(now, ticks ? *ticks : TickCount64());
}

void Clock::Advance(int64_t milliseconds) {
  if (milliseconds <= 0) return;
  ClockState& s = State();
  std::lock_guard<std::mutex> lock(s.mu);
  if (s.manual) s.elapsed_ms += milliseconds;
}

void Clock::UseSystem() {
  ClockState& s = State();
  std::lock_guard<std::mutex> lock(s.mu);
  if (!s.manual) return;
  s.system_offset = TicksLocked(s) - MonotonicMs();
  s.manual = false;
}

bool Clock::IsManual() {
  ClockState& s = State();
  std::lock_guard<std::mutex> lock(s.mu);
  return s.manual;
}

ScopedManualClock::ScopedManualClock(Date now, std::optional<uint32_t> ticks)
    : was_manual_(Clock::IsManual()), was_now_(Clock::Now()) {
  Clock::SetManual(now, ticks);
  start_ticks_ = Clock::TickCount64();
}

ScopedManualClock::~ScopedManualClock() {
  if (!was_manual_) {
    Clock::UseSystem();
    return;
  }
  uint64_t ticks = Clock::TickCount64();
  Clock::SetManualAt(
      AddSeconds(was_now_, static_cast<double>(ticks - start_ticks_) / 1000.0),
      ticks);
}

}  // namespace kvl
