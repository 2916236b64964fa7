#include "kvl/runtime/clock.h"

#include <time.h>

#include <cstdint>
#include <mutex>

#include "kvl/runtime/date_time.h"

namespace kvl {
namespace {

// The manual clock: a starting point plus the milliseconds advanced since,
// so that many small advances do not accumulate rounding in Now().
struct ManualState {
  std::mutex mu;
  bool manual = false;
  Date start;
  uint32_t start_ticks = 0;
  int64_t elapsed_ms = 0;
};

ManualState& State() {
  static ManualState* state = new ManualState;  // outlives static destructors
  return *state;
}

timespec ReadClock(clockid_t id) {
  timespec ts{};
  clock_gettime(id, &ts);
  return ts;
}

}  // namespace

Date Clock::Now() {
  ManualState& s = State();
  {
    std::lock_guard<std::mutex> lock(s.mu);
    if (s.manual) {
      return AddSeconds(s.start, static_cast<double>(s.elapsed_ms) / 1000.0);
    }
  }
  timespec ts = ReadClock(CLOCK_REALTIME);
  return LocalDateFromUnix(ts.tv_sec, static_cast<int>(ts.tv_nsec / 1'000'000));
}

uint32_t Clock::TickCount() {
  ManualState& s = State();
  {
    std::lock_guard<std::mutex> lock(s.mu);
    if (s.manual) {
      return s.start_ticks + static_cast<uint32_t>(s.elapsed_ms);
    }
  }
  timespec ts = ReadClock(CLOCK_MONOTONIC);
  uint64_t ms = static_cast<uint64_t>(ts.tv_sec) * 1000u +
                static_cast<uint64_t>(ts.tv_nsec / 1'000'000);
  return static_cast<uint32_t>(ms);
}

void Clock::SetManual(Date now, uint32_t ticks) {
  ManualState& s = State();
  std::lock_guard<std::mutex> lock(s.mu);
  s.manual = true;
  s.start = now;
  s.start_ticks = ticks;
  s.elapsed_ms = 0;
}

void Clock::Advance(int64_t milliseconds) {
  if (milliseconds <= 0) return;
  ManualState& s = State();
  std::lock_guard<std::mutex> lock(s.mu);
  if (s.manual) s.elapsed_ms += milliseconds;
}

void Clock::UseSystem() {
  ManualState& s = State();
  std::lock_guard<std::mutex> lock(s.mu);
  s.manual = false;
}

bool Clock::IsManual() {
  ManualState& s = State();
  std::lock_guard<std::mutex> lock(s.mu);
  return s.manual;
}

}  // namespace kvl
