// TimeStat lookups by time and durations, at 1,000 and 30,000 transitions
// (a pump switching on and off once a minute), beside what a user would
// write instead:
// - StateAt at a moment: TimeStat's binary search vs a std::map from
//   transition time to state searched with upper_bound, and vs walking the
//   intervals from the first with FirstInterval/NextInterval until one holds
//   the moment (the way a client finds it through the published members);
// - Duration(tpOn): TimeStat's walk over its transitions vs a loop over a
//   std::vector of (time, state) pairs adding up the on intervals.
// The clock stands after the last transition, inside the period.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <map>
#include <random>
#include <utility>
#include <vector>

#include "kvl/runtime/clock.h"
#include "kvl/runtime/date_time.h"
#include "kvl/timestat/time_stat.h"

namespace kvl {
namespace {

constexpr double kMinute = 1.0 / 1440;
const Date kStart = MakeDate(2000, 1, 1);

struct Fixture {
  explicit Fixture(int n)
      : clock(Date{kStart.days + (n + 1) * kMinute}),
        stat(MakeRef<TimeStat>()) {
    stat->SetStartOfPeriod(kStart);
    stat->SetEndOfPeriod(Date{kStart.days + 30});
    // The first transition is the period's tsUnknown; n - 1 more follow.
    for (int i = 1; i < n; ++i) {
      const Date when{kStart.days + i * kMinute};
      const TimeStates state = i % 2 == 1 ? tsOn : tsOff;
      stat->SetTransition(when, state);
      by_time[when.days] = state;
      pairs.emplace_back(when.days, state);
    }
    by_time[kStart.days] = tsUnknown;
    pairs.insert(pairs.begin(), {kStart.days, tsUnknown});
    std::mt19937 random(42);
    std::uniform_real_distribution<double> moment(kStart.days,
                                                  kStart.days + n * kMinute);
    for (int i = 0; i < 1024; ++i) moments.push_back(Date{moment(random)});
  }
  ScopedManualClock clock;
  Ref<TimeStat> stat;
  std::map<double, TimeStates> by_time;
  std::vector<std::pair<double, TimeStates>> pairs;
  std::vector<Date> moments;
};

Fixture& FixtureFor(int n) {
  static std::map<int, Fixture*> fixtures;
  Fixture*& f = fixtures[n];
  if (f == nullptr) f = new Fixture(n);  // kept for the whole run
  return *f;
}

void BM_TimeStatStateAt(benchmark::State& state) {
  Fixture& f = FixtureFor(static_cast<int>(state.range(0)));
  size_t i = 0;
  for (auto _ : state) {
    const Variant when(f.moments[i++ & 1023]);
    benchmark::DoNotOptimize(f.stat->StateAt(when));
  }
}
BENCHMARK(BM_TimeStatStateAt)->Arg(1000)->Arg(30000);

void BM_MapStateAt(benchmark::State& state) {
  Fixture& f = FixtureFor(static_cast<int>(state.range(0)));
  size_t i = 0;
  for (auto _ : state) {
    const double when = f.moments[i++ & 1023].days;
    // The earlier interval wins at a transition's own time.
    auto it = f.by_time.lower_bound(when);
    benchmark::DoNotOptimize(it == f.by_time.begin() ? tsMeaningless
                                                     : std::prev(it)->second);
  }
}
BENCHMARK(BM_MapStateAt)->Arg(1000)->Arg(30000);

void BM_IntervalWalkStateAt(benchmark::State& state) {
  Fixture& f = FixtureFor(static_cast<int>(state.range(0)));
  size_t i = 0;
  for (auto _ : state) {
    const double when = f.moments[i++ & 1023].days;
    TimeStates found = tsMeaningless;
    for (auto interval = f.stat->FirstInterval(); interval;
         interval = f.stat->NextInterval()) {
      if (interval->StartTime().days <= when &&
          interval->EndTime().days >= when) {
        found = interval->State();
        break;
      }
    }
    benchmark::DoNotOptimize(found);
  }
}
BENCHMARK(BM_IntervalWalkStateAt)->Arg(1000)->Arg(30000);

void BM_TimeStatDurationOn(benchmark::State& state) {
  Fixture& f = FixtureFor(static_cast<int>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(f.stat->Duration(tpOn));
}
BENCHMARK(BM_TimeStatDurationOn)->Arg(1000)->Arg(30000);

void BM_VectorDurationOn(benchmark::State& state) {
  Fixture& f = FixtureFor(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    const double now = Clock::Now().days;
    double seconds = 0;
    for (size_t i = 0; i < f.pairs.size(); ++i) {
      if (f.pairs[i].second != tsOn) continue;
      const double end = i + 1 < f.pairs.size() ? f.pairs[i + 1].first : now;
      seconds += (end - f.pairs[i].first) * 86400;
    }
    benchmark::DoNotOptimize(seconds);
  }
}
BENCHMARK(BM_VectorDurationOn)->Arg(1000)->Arg(30000);

}  // namespace
}  // namespace kvl

BENCHMARK_MAIN();
