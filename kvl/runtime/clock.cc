#include "kvl/runtime/clock.h"

#include <time.h>

#include <atomic>
#include <cstdint>
#include <mutex>

#include "kvl/runtime/date_time.h"

namespace kvl {
namespace {

// The manual clock is a starting point plus the milliseconds advanced since,
// so that many small advances do not accumulate rounding in Now(). The
// system tick counter is CLOCK_MONOTONIC plus an offset that keeps the
// counter going on where a manual clock left it.
//
// Reads take no lock: writers (serialised by `mu`) make `seq` odd while they
// change the fields, and a reader retries when `seq` moved under it. Every
// field is atomic, so a torn read is only ever discarded, never used.
struct ClockState {
  std::mutex mu;
  std::atomic<uint64_t> seq{0};
  std::atomic<bool> manual{false};
  std::atomic<double> start{0};  // a Date's days
  std::atomic<uint64_t> start_ticks{0};
  std::atomic<int64_t> elapsed_ms{0};
  std::atomic<uint64_t> system_offset{0};  // added modulo 2^64
};

// One consistent reading of the state.
struct Snapshot {
  bool manual;
  Date start;
  uint64_t start_ticks;
  int64_t elapsed_ms;
  uint64_t system_offset;
};

ClockState& State() {
  static ClockState* state = new ClockState;  // outlives static destructors
  return *state;
}

Snapshot Load(const ClockState& s) {
  constexpr auto kAcquire = std::memory_order_acquire;
  while (true) {
    uint64_t before = s.seq.load(kAcquire);
    if (before & 1) continue;  // a writer is between its two steps
    Snapshot snap{s.manual.load(kAcquire), Date{s.start.load(kAcquire)},
                  s.start_ticks.load(kAcquire), s.elapsed_ms.load(kAcquire),
                  s.system_offset.load(kAcquire)};
    if (s.seq.load(std::memory_order_relaxed) == before) return snap;
  }
}

// Changes the state under `s.mu`, held by the caller.
template <class F>
void Write(ClockState& s, F change) {
  s.seq.fetch_add(1, std::memory_order_relaxed);
  change();  // field stores are release stores: they follow the odd `seq`
  s.seq.fetch_add(1, std::memory_order_release);
}

constexpr auto kRelease = std::memory_order_release;

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

uint64_t Ticks(const Snapshot& s) {
  if (s.manual) return s.start_ticks + static_cast<uint64_t>(s.elapsed_ms);
  return MonotonicMs() + s.system_offset;
}

Date ManualNow(const Snapshot& s) {
  return AddSeconds(s.start, static_cast<double>(s.elapsed_ms) / 1000.0);
}

}  // namespace

Date Clock::Now() {
  Snapshot snap = Load(State());
  if (snap.manual) return ManualNow(snap);
  timespec ts = ReadClock(CLOCK_REALTIME);
  return LocalDateFromUnix(ts.tv_sec, static_cast<int>(ts.tv_nsec / 1'000'000));
}

Clock::Reading Clock::Read() {
  Snapshot snap = Load(State());
  if (snap.manual) return Reading{true, ManualNow(snap), 0};
  timespec ts = ReadClock(CLOCK_REALTIME);
  return Reading{false, Date{},
                 int64_t{ts.tv_sec} * 1000 + ts.tv_nsec / 1'000'000};
}

uint64_t Clock::TickCount64() {
  return Ticks(Load(State()));
}

uint32_t Clock::TickCount() {
  return static_cast<uint32_t>(TickCount64());
}

void Clock::SetManualAt(Date now, uint64_t ticks) {
  ClockState& s = State();
  std::lock_guard<std::mutex> lock(s.mu);
  Write(s, [&] {
    s.manual.store(true, kRelease);
    s.start.store(now.days, kRelease);
    s.start_ticks.store(ticks, kRelease);
    s.elapsed_ms.store(0, kRelease);
  });
}

void Clock::SetManual(Date now, std::optional<uint32_t> ticks) {
  SetManualAt(now, ticks ? *ticks : TickCount64());
}

void Clock::Advance(int64_t milliseconds) {
  if (milliseconds <= 0) return;
  ClockState& s = State();
  std::lock_guard<std::mutex> lock(s.mu);
  if (!s.manual.load(std::memory_order_relaxed)) return;
  Write(s, [&] {
    s.elapsed_ms.store(
        s.elapsed_ms.load(std::memory_order_relaxed) + milliseconds, kRelease);
  });
}

void Clock::UseSystem() {
  ClockState& s = State();
  std::lock_guard<std::mutex> lock(s.mu);
  if (!s.manual.load(std::memory_order_relaxed)) return;
  uint64_t ticks = Ticks(Load(s));
  Write(s, [&] {
    s.system_offset.store(ticks - MonotonicMs(), kRelease);
    s.manual.store(false, kRelease);
  });
}

bool Clock::IsManual() {
  return State().manual.load(std::memory_order_acquire);
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
