// Cost of a call through the runtime: typed, late-bound by name, and a
// std::function call as the peer a user would otherwise reach for. Cost of
// turning a weak reference into a counted one, beside std::weak_ptr::lock.
#include <benchmark/benchmark.h>

#include <functional>
#include <memory>
#include <string>

#include "kvl/runtime/class_info.h"
#include "kvl/runtime/dynamic_object.h"
#include "kvl/runtime/notifier.h"
#include "kvl/runtime/weak_ref.h"

namespace kvl {
namespace {

class Adder : public Object {
  KVL_DECLARE_CLASS(Adder)
 public:
  int32_t Add(int32_t a, int32_t b) { return total_ += a + b; }
  int32_t total() const { return total_; }

 private:
  int32_t total_ = 0;
};

const ClassInfo& Adder::StaticClass() {
  static const ClassInfo info =
      ClassBuilder<Adder>("Adder", ClassKind::kPrivate)
          .Method<&Adder::Add>("Add", {Arg("a"), Arg("b")})
          .Build();
  return info;
}

void BM_TypedCall(benchmark::State& state) {
  auto a = MakeRef<Adder>();
  for (auto _ : state) benchmark::DoNotOptimize(a->Add(1, 2));
}
BENCHMARK(BM_TypedCall);

void BM_LateBoundByName(benchmark::State& state) {
  auto a = MakeRef<Adder>();
  Variant args[2];
  for (auto _ : state) {
    args[0] = Variant(1);
    args[1] = Variant(2);
    benchmark::DoNotOptimize(a->Invoke("Add", CallKind::kMethod, args));
  }
}
BENCHMARK(BM_LateBoundByName);

// A property Get of text by name, as collections read their elements' keys;
// the text is longer than a short-string buffer, so a copy would allocate.
class Labelled : public Object {
  KVL_DECLARE_CLASS(Labelled)
 public:
  std::string Label() const { return label_; }

 private:
  std::string label_ = "Timer.Queue.00042.Due.Label";
};

const ClassInfo& Labelled::StaticClass() {
  static const ClassInfo info =
      ClassBuilder<Labelled>("Labelled", ClassKind::kPrivate)
          .Get<&Labelled::Label>("Label")
          .Build();
  return info;
}

void BM_LateBoundGetText(benchmark::State& state) {
  auto l = MakeRef<Labelled>();
  for (auto _ : state)
    benchmark::DoNotOptimize(l->Invoke("Label", CallKind::kGet, {}));
}
BENCHMARK(BM_LateBoundGetText);

// Peer: the same text through a std::function.
void BM_StdFunctionTextPeer(benchmark::State& state) {
  auto l = MakeRef<Labelled>();
  std::function<std::string()> f = [&] { return l->Label(); };
  benchmark::DoNotOptimize(&f);
  for (auto _ : state) benchmark::DoNotOptimize(f());
}
BENCHMARK(BM_StdFunctionTextPeer);

void BM_DynamicObjectByName(benchmark::State& state) {
  auto d = MakeRef<DynamicObject>("Client");
  int32_t total = 0;
  d->OnMethod("EventHandler", [&](std::span<Variant> a) {
    total += a[0].AsI4();
    return Variant();
  });
  Variant args[1];
  for (auto _ : state) {
    args[0] = Variant(1);
    benchmark::DoNotOptimize(d->Invoke("EventHandler", CallKind::kMethod, args));
  }
}
BENCHMARK(BM_DynamicObjectByName);

// Peer: a std::function taking and returning values.
void BM_StdFunctionPeer(benchmark::State& state) {
  int32_t total = 0;
  std::function<int32_t(int32_t, int32_t)> f = [&](int32_t a, int32_t b) {
    return total += a + b;
  };
  benchmark::DoNotOptimize(&f);
  for (auto _ : state) benchmark::DoNotOptimize(f(1, 2));
}
BENCHMARK(BM_StdFunctionPeer);

void BM_WeakRefLock(benchmark::State& state) {
  auto a = MakeRef<Adder>();
  WeakRef<Adder> weak(a);
  for (auto _ : state) benchmark::DoNotOptimize(weak.Lock());
}
BENCHMARK(BM_WeakRefLock);

void BM_StdWeakPtrLockPeer(benchmark::State& state) {
  auto a = std::make_shared<int32_t>(0);
  std::weak_ptr<int32_t> weak(a);
  for (auto _ : state) benchmark::DoNotOptimize(weak.lock());
}
BENCHMARK(BM_StdWeakPtrLockPeer);

// Making and releasing an object that never gets a weak reference.
void BM_MakeAndRelease(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(MakeRef<Adder>());
}
BENCHMARK(BM_MakeAndRelease);

void BM_MakeSharedPeer(benchmark::State& state) {
  struct Plain {
    virtual ~Plain() = default;
    int32_t total = 0;
  };
  for (auto _ : state) benchmark::DoNotOptimize(std::make_shared<Plain>());
}
BENCHMARK(BM_MakeSharedPeer);

// A variable argument list: the arguments after the first are gathered into
// one array per call.
class Summer : public Object {
  KVL_DECLARE_CLASS(Summer)
 public:
  int32_t Sum(int32_t first, const Variant& rest) {
    int32_t total = first;
    for (const Variant& v : rest.Array().items()) total += v.AsI4();
    return total;
  }
};

const ClassInfo& Summer::StaticClass() {
  static const ClassInfo info =
      ClassBuilder<Summer>("Summer", ClassKind::kPrivate)
          .Method<&Summer::Sum>("Sum", {Arg("first"), ParamArray("rest")})
          .Build();
  return info;
}

void BM_LateBoundParamArray(benchmark::State& state) {
  auto s = MakeRef<Summer>();
  Variant args[4];
  for (auto _ : state) {
    for (Variant& a : args) a = Variant(1);
    benchmark::DoNotOptimize(s->Invoke("Sum", CallKind::kMethod, args));
  }
}
BENCHMARK(BM_LateBoundParamArray);

// Connecting a sink without knowing the class (the runtime finds the
// notifier) against the class's own typed Notifier.
class TickEvents {
 public:
  static const ClassInfo& StaticClass();
  virtual void Tick() = 0;

 protected:
  ~TickEvents() = default;
};

const ClassInfo& TickEvents::StaticClass() {
  static const ClassInfo info =
      ClassBuilder<TickEvents>("__Ticker", ClassKind::kNotification)
          .Method<&TickEvents::Tick>("Tick")
          .Build();
  return info;
}

class Ticker : public Object {
  KVL_DECLARE_CLASS(Ticker)
 public:
  Notifier<TickEvents>& events() { return events_; }

 private:
  Notifier<TickEvents> events_;
};

const ClassInfo& Ticker::StaticClass() {
  static const ClassInfo info =
      ClassBuilder<Ticker>("Ticker", ClassKind::kPrivate)
          .Notifies(&TickEvents::StaticClass)
          .Build();
  return info;
}

void BM_ConnectSinkByConnectionPoint(benchmark::State& state) {
  auto t = MakeRef<Ticker>();
  Ref<Object> sink = MakeRef<DynamicObject>("Sink");
  for (auto _ : state) DisconnectSink(*t, ConnectSink(*t, sink));
}
BENCHMARK(BM_ConnectSinkByConnectionPoint);

void BM_ConnectSinkTypedPeer(benchmark::State& state) {
  auto t = MakeRef<Ticker>();
  Ref<Object> sink = MakeRef<DynamicObject>("Sink");
  for (auto _ : state) t->events().Disconnect(t->events().Connect(sink));
}
BENCHMARK(BM_ConnectSinkTypedPeer);

}  // namespace
}  // namespace kvl

BENCHMARK_MAIN();
