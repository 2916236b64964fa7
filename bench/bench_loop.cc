// Message loop timer scheduling.
//
// BM_LoopTimers: 10,000 timers with random intervals (10 to 1000 ms), each
// firing 20 times and then killing itself, run to completion by Run() under
// a manual clock (the clock jumps from one due time to the next); beside
// BM_PriorityQueuePeer: the same schedule kept in a std::priority_queue of
// (due, order, timer) with the same std::function callbacks, which is what
// a program with its own virtual time would write. Items are firings.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <functional>
#include <queue>
#include <random>
#include <vector>

#include "kvl/runtime/clock.h"
#include "kvl/runtime/date_time.h"
#include "kvl/runtime/message_loop.h"

namespace kvl {
namespace {

constexpr int kTimers = 10'000;
constexpr int kFirings = 20;

std::vector<uint32_t> Intervals() {
  std::mt19937 random(42);
  std::uniform_int_distribution<uint32_t> interval(10, 1000);
  std::vector<uint32_t> v(kTimers);
  for (uint32_t& i : v) i = interval(random);
  return v;
}

void BM_LoopTimers(benchmark::State& state) {
  const std::vector<uint32_t> intervals = Intervals();
  ScopedManualClock clock(MakeDate(2024, 1, 1));
  MessageLoop& loop = MessageLoop::Current();
  std::vector<int> left(kTimers);
  int64_t fired = 0;
  for (auto _ : state) {
    for (int i = 0; i < kTimers; ++i) {
      left[i] = kFirings;
      loop.SetTimer(intervals[i], [&left, &fired, &loop, i](uint32_t id) {
        ++fired;
        if (--left[i] == 0) loop.KillTimer(id);
      });
    }
    loop.Run();
  }
  state.SetItemsProcessed(fired);
}
BENCHMARK(BM_LoopTimers)->Unit(benchmark::kMillisecond);

void BM_PriorityQueuePeer(benchmark::State& state) {
  const std::vector<uint32_t> intervals = Intervals();
  struct Entry {
    uint64_t due;
    uint64_t order;
    uint32_t timer;
    bool operator>(const Entry& o) const {
      return due != o.due ? due > o.due : order > o.order;
    }
  };
  std::vector<int> left(kTimers);
  std::vector<bool> live(kTimers);
  std::vector<std::function<void(uint32_t)>> callbacks(kTimers);
  int64_t fired = 0;
  uint64_t now = 0;
  for (auto _ : state) {
    std::priority_queue<Entry, std::vector<Entry>, std::greater<>> queue;
    uint64_t order = 0;
    for (int i = 0; i < kTimers; ++i) {
      left[i] = kFirings;
      live[i] = true;
      callbacks[i] = [&left, &fired, &live, i](uint32_t) {
        ++fired;
        if (--left[i] == 0) live[i] = false;
      };
      queue.push(Entry{now + intervals[i], order++, static_cast<uint32_t>(i)});
    }
    while (!queue.empty()) {
      Entry e = queue.top();
      queue.pop();
      now = e.due;
      callbacks[e.timer](e.timer);
      if (live[e.timer])
        queue.push(Entry{now + intervals[e.timer], order++, e.timer});
    }
  }
  state.SetItemsProcessed(fired);
}
BENCHMARK(BM_PriorityQueuePeer)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace kvl

BENCHMARK_MAIN();
