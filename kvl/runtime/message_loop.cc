#include "kvl/runtime/message_loop.h"

#include <chrono>
#include <thread>
#include <vector>

#include "kvl/runtime/clock.h"

namespace kvl {
namespace {

// Signed distance from tick `a` to tick `b`, correct across the 2^32 wrap
// for distances below 2^31 ms (about 24 days).
int32_t TicksUntil(uint32_t a, uint32_t b) {
  return static_cast<int32_t>(b - a);
}

uint32_t Clamp(uint32_t interval) {
  return interval < MessageLoop::kMinimumInterval
             ? MessageLoop::kMinimumInterval
             : interval;
}

}  // namespace

MessageLoop& MessageLoop::Current() {
  thread_local MessageLoop loop;
  return loop;
}

uint32_t MessageLoop::SetTimer(uint32_t interval_ms, TimerCallback callback) {
  uint32_t id = next_id_++;
  if (next_id_ == 0) next_id_ = 1;
  interval_ms = Clamp(interval_ms);
  timers_[id] =
      Timer{interval_ms, Clock::TickCount() + interval_ms, std::move(callback)};
  return id;
}

bool MessageLoop::ResetTimer(uint32_t id, uint32_t interval_ms) {
  auto it = timers_.find(id);
  if (it == timers_.end()) return false;
  it->second.interval = Clamp(interval_ms);
  it->second.due = Clock::TickCount() + it->second.interval;
  return true;
}

bool MessageLoop::KillTimer(uint32_t id) { return timers_.erase(id) > 0; }

std::optional<uint32_t> MessageLoop::EarliestTimer() const {
  std::optional<uint32_t> best;
  uint32_t now = Clock::TickCount();
  int32_t best_wait = 0;
  for (const auto& [id, t] : timers_) {
    int32_t wait = TicksUntil(now, t.due);
    if (!best || wait < best_wait) {
      best = id;
      best_wait = wait;
    }
  }
  return best;
}

std::optional<uint32_t> MessageLoop::NextDueIn() const {
  std::optional<uint32_t> id = EarliestTimer();
  if (!id) return std::nullopt;
  int32_t wait = TicksUntil(Clock::TickCount(), timers_.at(*id).due);
  return wait > 0 ? static_cast<uint32_t>(wait) : 0u;
}

void MessageLoop::Post(Task task) { tasks_.push_back(std::move(task)); }

int MessageLoop::RunTasks() {
  int ran = 0;
  for (size_t n = tasks_.size(); n > 0 && !tasks_.empty(); --n) {
    Task task = std::move(tasks_.front());
    tasks_.pop_front();
    task();
    ++ran;
  }
  return ran;
}

int MessageLoop::FireDue(uint32_t now) {
  std::vector<uint32_t> due;
  for (const auto& [id, t] : timers_)
    if (TicksUntil(now, t.due) <= 0) due.push_back(id);
  int fired = 0;
  for (uint32_t id : due) {
    auto it = timers_.find(id);
    if (it == timers_.end()) continue;  // killed by an earlier callback
    it->second.due = now + it->second.interval;
    // Copy: the callback may kill or replace its own timer.
    TimerCallback callback = it->second.callback;
    callback(id);
    ++fired;
  }
  return fired;
}

int MessageLoop::Pump() {
  int ran = RunTasks();
  return ran + FireDue(Clock::TickCount());
}

void MessageLoop::WaitUntil(uint32_t until) {
  int32_t wait = TicksUntil(Clock::TickCount(), until);
  if (wait <= 0) return;
  if (Clock::IsManual()) {
    Clock::Advance(wait);
  } else {
    std::this_thread::sleep_for(std::chrono::milliseconds(wait));
  }
}

void MessageLoop::Run() {
  quit_ = false;
  while (true) {
    Pump();
    if (quit_) break;
    if (!tasks_.empty()) continue;
    std::optional<uint32_t> next = EarliestTimer();
    if (!next) break;  // nothing left that could run
    WaitUntil(timers_.at(*next).due);
  }
  quit_ = false;
}

void MessageLoop::RunFor(int64_t milliseconds) {
  const uint32_t end =
      Clock::TickCount() + static_cast<uint32_t>(milliseconds);
  quit_ = false;
  while (!quit_) {
    RunTasks();
    std::optional<uint32_t> next = EarliestTimer();
    if (!next || TicksUntil(end, timers_.at(*next).due) > 0) break;
    WaitUntil(timers_.at(*next).due);
    FireDue(Clock::TickCount());
  }
  WaitUntil(end);
  quit_ = false;
  RunTasks();
}

}  // namespace kvl
