// Queued timers to completion.
//
// BM_QueuedTimers/N: N (1,000 and 10,000) named timers with random intervals
// (55 ms to 10 minutes) added to one QueuedTimer over a TimerControl, then run
// to completion by the message loop under a manual clock; each expiry calls a
// late-bound notifier's "TimerExpire"(name). Beside BM_PriorityQueuePeer:
// the same timers in a std::priority_queue of (due, order, name) popped in
// due order as the manual clock moves, calling a std::function with the
// name, which is what a program would write for itself. Items are timers.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <functional>
#include <queue>
#include <random>
#include <string>
#include <vector>

#include "kvl/runtime/clock.h"
#include "kvl/runtime/date_time.h"
#include "kvl/runtime/dynamic_object.h"
#include "kvl/runtime/message_loop.h"
#include "kvl/timers/queued_timer.h"
#include "kvl/timers/timer_control.h"

namespace kvl {
namespace {

struct Job {
  std::string name;
  int32_t ms;
};

// `n` named jobs with random intervals (the same for both benchmarks).
std::vector<Job> Jobs(int64_t n) {
  std::mt19937 random(42);
  std::uniform_int_distribution<int32_t> ms(55, 600'000);
  std::vector<Job> jobs(static_cast<size_t>(n));
  for (size_t i = 0; i < jobs.size(); ++i) {
    jobs[i] = {"job" + std::to_string(i), ms(random)};
  }
  return jobs;
}

void BM_QueuedTimers(benchmark::State& state) {
  const std::vector<Job> jobs = Jobs(state.range(0));
  ScopedManualClock clock(MakeDate(2024, 1, 1));
  MessageLoop& loop = MessageLoop::Current();
  int64_t expired = 0;
  auto notify = MakeRef<DynamicObject>("Jobs");
  notify->OnMethod("TimerExpire", [&expired](std::span<Variant>) {
    ++expired;
    return Variant();
  });
  for (auto _ : state) {
    auto queue = MakeRef<QueuedTimer>();
    queue->SetTimerRef(MakeRef<TimerControl>());
    for (const Job& j : jobs) queue->AddFineTimer(j.name, j.ms, notify);
    loop.Run();  // returns once the queue is empty and the control is off
    if (queue->Queue()->Count() != 0) state.SkipWithError("timers left");
  }
  state.SetItemsProcessed(expired);
}
BENCHMARK(BM_QueuedTimers)
    ->Arg(1000)
    ->Arg(10000)
    ->Unit(benchmark::kMillisecond);

void BM_PriorityQueuePeer(benchmark::State& state) {
  const std::vector<Job> jobs = Jobs(state.range(0));
  ScopedManualClock clock(MakeDate(2024, 1, 1));
  struct Entry {
    uint64_t due;
    uint64_t order;
    const std::string* name;
  };
  struct Later {
    bool operator()(const Entry& a, const Entry& b) const {
      return a.due != b.due ? a.due > b.due : a.order > b.order;
    }
  };
  int64_t expired = 0;
  std::function<void(const std::string&)> notify =
      [&expired](const std::string&) { ++expired; };
  for (auto _ : state) {
    std::priority_queue<Entry, std::vector<Entry>, Later> queue;
    uint64_t order = 0;
    for (const Job& j : jobs) {
      queue.push({Clock::TickCount64() + static_cast<uint64_t>(j.ms), order++,
                  &j.name});
    }
    while (!queue.empty()) {
      Entry e = queue.top();
      queue.pop();
      uint64_t now = Clock::TickCount64();
      if (e.due > now) Clock::Advance(static_cast<int64_t>(e.due - now));
      notify(*e.name);
    }
  }
  state.SetItemsProcessed(expired);
}
BENCHMARK(BM_PriorityQueuePeer)
    ->Arg(1000)
    ->Arg(10000)
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace kvl

BENCHMARK_MAIN();
