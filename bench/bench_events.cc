// Event bus delivery and the wildcard match.
//
// BM_SendAndFire/N: events per second through SendString + FireAllEvents
// with N listeners (1, 10, 1000) of a realistic mix: literal names,
// «Foo/*»-style patterns, and patterns with a qualifier; four event texts
// in turn, some matching many listeners and some none.
//
// BM_SendAndFireManyWords/N: the same traffic over N listeners (10, 1000,
// 10000) of as many services, each with a leading word of its own
// («Svc17/Ping», «Svc18/*», ...), plus two listeners whose leading word is
// a wildcard; every event reaches the same few listeners whatever N is,
// so the cost per event should not grow with N.
//
// Per listener, beside the peers, on a queued event (no parsing):
// - BM_MatchingListeners/N/Q: N listeners that all match and are called
//   (name pattern «Foo/*», with Q = 1 also a qualifier, a typed receiver),
//   beside
//   BM_Signals2Slots/N, one Boost.Signals2 signal with N slots called once.
// - BM_RejectingListeners/N: N listeners whose name pattern does not match,
//   beside BM_FnmatchPeer/N, POSIX fnmatch (case-folding) of the same N
//   patterns against the same name. Their leading words differ from the
//   event's, so the bus no longer tests them at all.
//
// BM_WildcardPathological: an 8 KB text against a 2 KB «*a*a*a…*b», one
// compiled pattern and one-shot (compile and match).
#include <benchmark/benchmark.h>
#include <fnmatch.h>

#include <string>
#include <vector>

#include "kvl/events/event_bus.h"
#include "kvl/events/event_listener.h"
#include "kvl/events/wildcard.h"

#if __has_include(<boost/signals2.hpp>)
#include <boost/signals2.hpp>
#define KVL_HAVE_SIGNALS2 1
#endif

namespace kvl {
namespace {

class Counter : public Object, public IEventReceiver {
  KVL_DECLARE_CLASS(Counter)
 public:
  void EventHandler(const Ref<EventObject>&, int32_t, int16_t) override {
    ++calls;
  }
  int64_t calls = 0;
};

const ClassInfo& Counter::StaticClass() {
  static const ClassInfo info =
      ClassBuilder<Counter>("Counter", ClassKind::kPrivate)
          .Implements(&IEventReceiver::StaticClass)
          .Build();
  return info;
}

// Listener i of the realistic mix.
void AddMixedListener(EventBus& bus, const Ref<Counter>& counter, int i) {
  const std::string n = std::to_string(i);
  switch (i % 4) {
    case 0: bus.Listen(counter, "App/Event/" + n, Variant()); break;
    case 1:
      bus.Listen(counter, i % 8 == 1 ? "Foo/*" : "Svc" + n + "/*", Variant());
      break;
    case 2: bus.Listen(counter, "Foo/To/*", Variant("Copies=[0-9]")); break;
    default: bus.ListenString(counter, "Svc" + n + "/Ping K*=V*"); break;
  }
}

// Sends and delivers the four `texts` in turn, one per iteration, and
// reports the receiver calls per event.
void SendAndFireEach(benchmark::State& state, EventBus& bus,
                     const Counter& counter, const char* const (&texts)[4]) {
  size_t next = 0;
  for (auto _ : state) {
    bus.SendString(texts[next++ & 3]);
    bus.FireAllEvents();
  }
  state.SetItemsProcessed(state.iterations());
  state.counters["calls_per_event"] =
      benchmark::Counter(static_cast<double>(counter.calls) /
                         static_cast<double>(state.iterations()));
}

void BM_SendAndFire(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  auto bus = MakeRef<EventBus>();
  auto counter = MakeRef<Counter>();
  for (int i = 0; i < n; ++i) AddMixedListener(*bus, counter, i);
  if (n == 1) bus->Listen(counter, "Foo/*", Variant());
  SendAndFireEach(state, *bus, *counter,
                  {"Foo/To/Printer Copies=2 Doc=report", "Foo/Bar K1=V1",
                   "Svc3/Ping K9=Vx", "Other/Event X=1 Y='a b'"});
  state.counters["ns_per_listener"] = benchmark::Counter(
      static_cast<double>(state.iterations()) * n,
      benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  bus->UnlistenAll(nullptr);
}
BENCHMARK(BM_SendAndFire)->Arg(1)->Arg(10)->Arg(100)->Arg(1000);

// Listener i of service i, and two that every event is tested against.
void AddServiceListeners(EventBus& bus, const Ref<Counter>& counter, int n) {
  for (int i = 0; i < n; ++i) {
    const std::string svc = "Svc" + std::to_string(i);
    switch (i % 4) {
      case 0: bus.Listen(counter, svc + "/Ping", Variant()); break;
      case 1: bus.Listen(counter, svc + "/*", Variant()); break;
      case 2:
        bus.Listen(counter, svc + "/To/*", Variant("Copies=[0-9]"));
        break;
      default: bus.ListenString(counter, svc + "/Ping K*=V*"); break;
    }
  }
  bus.Monitor(counter, "*/Alarm", Variant());
  bus.ListenString(counter, "Svc*/Ping K9=*");
}

void BM_SendAndFireManyWords(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  auto bus = MakeRef<EventBus>();
  auto counter = MakeRef<Counter>();
  AddServiceListeners(*bus, counter, n);
  SendAndFireEach(state, *bus, *counter,
                  {"Svc6/To/Printer Copies=2 Doc=report", "Svc5/Status Up=1",
                   "Svc3/Ping K9=Vx", "Other/Event X=1 Y='a b'"});
  bus->UnlistenAll(nullptr);
}
BENCHMARK(BM_SendAndFireManyWords)->Arg(10)->Arg(1000)->Arg(10000);

Ref<EventObject> QueuedEventFor(const char* name) {
  auto e = MakeRef<EventObject>();
  e->SetName(name);
  e->SetValue("K1", Variant("V1"));
  e->SetValue("Copies", Variant("2"));
  return e;
}

// range(0) listeners «Foo/*»; with range(1) each also has the qualifier
// «K1=V*».
void BM_MatchingListeners(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const Variant quals = state.range(1) ? Variant("K1=V*") : Variant();
  auto bus = MakeRef<EventBus>();
  auto counter = MakeRef<Counter>();
  for (int i = 0; i < n; ++i) bus->Listen(counter, "Foo/*", quals);
  Ref<EventObject> e = QueuedEventFor("Foo/Bar");
  for (auto _ : state) {
    bus->SendEvent(e);
    bus->FireAllEvents();
  }
  if (counter->calls != state.iterations() * n)
    state.SkipWithError("not every listener was called");
  state.SetItemsProcessed(state.iterations() * n);
  bus->UnlistenAll(nullptr);
}
BENCHMARK(BM_MatchingListeners)->ArgsProduct({{10, 1000}, {0, 1}});

#ifdef KVL_HAVE_SIGNALS2
struct SlotEvent {
  std::string name;
};

void BM_Signals2Slots(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  boost::signals2::signal<void(const SlotEvent&)> signal;
  int64_t calls = 0;
  for (int i = 0; i < n; ++i)
    signal.connect([&calls](const SlotEvent&) { ++calls; });
  const SlotEvent e{"Foo/Bar"};
  for (auto _ : state) signal(e);
  benchmark::DoNotOptimize(calls);
  state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_Signals2Slots)->Arg(10)->Arg(1000);
#endif

// Name patterns that do not match «Foo/Bar»: literal names and prefixes.
std::vector<std::string> RejectingPatterns(int n) {
  std::vector<std::string> patterns;
  for (int i = 0; i < n; ++i) {
    const std::string k = std::to_string(i);
    patterns.push_back(i % 2 ? "Svc" + k + "/*" : "App/Event/" + k);
  }
  return patterns;
}

void BM_RejectingListeners(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  auto bus = MakeRef<EventBus>();
  auto counter = MakeRef<Counter>();
  for (const std::string& p : RejectingPatterns(n))
    bus->Listen(counter, p, Variant());
  Ref<EventObject> e = QueuedEventFor("Foo/Bar");
  for (auto _ : state) {
    bus->SendEvent(e);
    bus->FireAllEvents();
  }
  state.SetItemsProcessed(state.iterations() * n);
  bus->UnlistenAll(nullptr);
}
BENCHMARK(BM_RejectingListeners)->Arg(10)->Arg(1000);

void BM_FnmatchPeer(benchmark::State& state) {
  const std::vector<std::string> patterns =
      RejectingPatterns(static_cast<int>(state.range(0)));
  const std::string name = "Foo/Bar";
  for (auto _ : state) {
    int matched = 0;
    for (const std::string& p : patterns)
      matched += fnmatch(p.c_str(), name.c_str(), FNM_CASEFOLD) == 0;
    benchmark::DoNotOptimize(matched);
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_FnmatchPeer)->Arg(10)->Arg(1000);

struct Pathological {
  std::string text = std::string(8192, 'a');
  std::string pattern;
  Pathological() {
    while (pattern.size() < 2046) pattern += "*a";
    pattern += "*b";
  }
};

void BM_WildcardPathological(benchmark::State& state) {
  const Pathological p;
  const WildcardPattern compiled(p.pattern);
  for (auto _ : state) benchmark::DoNotOptimize(compiled.Matches(p.text));
}
BENCHMARK(BM_WildcardPathological)->Unit(benchmark::kMicrosecond);

void BM_WildcardPathologicalOneShot(benchmark::State& state) {
  const Pathological p;
  for (auto _ : state)
    benchmark::DoNotOptimize(WildcardMatch(p.text, p.pattern));
}
BENCHMARK(BM_WildcardPathologicalOneShot)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace kvl

BENCHMARK_MAIN();
