// IKVLCollection: 30,000 objects added under text keys and each looked up
// again by key (in another letter case), beside a std::map<std::string,
// Ref<Object>> over case-folded keys doing the same work. One iteration
// builds the container and finds every element; the BM_Find* runs build
// once and time the lookups alone. BM_KeyedStore* measure the store under
// the collection, without variants.
#include <benchmark/benchmark.h>

#include <cctype>
#include <map>
#include <string>
#include <vector>

#include "kvl/collections/keyed_collection.h"
#include "kvl/collections/keyed_store.h"
#include "kvl/runtime/variant.h"

namespace kvl {
namespace {

constexpr int kCount = 30000;

class Element : public Object {
  KVL_DECLARE_CLASS(Element)
};

const ClassInfo& Element::StaticClass() {
  static const ClassInfo info =
      ClassBuilder<Element>("Element", ClassKind::kPrivate).Build();
  return info;
}

struct Data {
  std::vector<Ref<Object>> objects;
  std::vector<std::string> keys;         // "Job.Printer.17"
  std::vector<std::string> lookups;      // "JOB.PRINTER.17"
  std::vector<Variant> lookup_variants;  // the same, as a client passes them
};

const Data& TheData() {
  static const Data* data = [] {
    auto* d = new Data;
    for (int i = 0; i < kCount; ++i) {
      d->objects.push_back(MakeRef<Element>());
      d->keys.push_back("Job.Printer." + std::to_string(i));
      std::string upper = d->keys.back();
      for (char& c : upper) c = static_cast<char>(std::toupper(c));
      d->lookups.push_back(upper);
      d->lookup_variants.emplace_back(upper);
    }
    return d;
  }();
  return *data;
}

std::string Folded(const std::string& key) {
  std::string out = key;
  for (char& c : out) c = static_cast<char>(std::tolower(c));
  return out;
}

void BM_KeyedCollection(benchmark::State& state) {
  const Data& d = TheData();
  for (auto _ : state) {
    auto c = MakeRef<IKVLCollection>();
    for (int i = 0; i < kCount; ++i) c->Add(d.objects[i], d.keys[i]);
    for (int i = 0; i < kCount; ++i)
      benchmark::DoNotOptimize(c->Item(d.lookup_variants[i]));
  }
  state.SetItemsProcessed(state.iterations() * kCount);
}
BENCHMARK(BM_KeyedCollection)->Unit(benchmark::kMillisecond);

// Peer: the same work with a std::map over folded keys.
void BM_StdMapPeer(benchmark::State& state) {
  const Data& d = TheData();
  for (auto _ : state) {
    std::map<std::string, Ref<Object>> m;
    for (int i = 0; i < kCount; ++i) m.emplace(Folded(d.keys[i]), d.objects[i]);
    for (int i = 0; i < kCount; ++i) {
      auto it = m.find(Folded(d.lookups[i]));
      benchmark::DoNotOptimize(it->second);
    }
  }
  state.SetItemsProcessed(state.iterations() * kCount);
}
BENCHMARK(BM_StdMapPeer)->Unit(benchmark::kMillisecond);

void BM_FindKeyedCollection(benchmark::State& state) {
  const Data& d = TheData();
  auto c = MakeRef<IKVLCollection>();
  for (int i = 0; i < kCount; ++i) c->Add(d.objects[i], d.keys[i]);
  for (auto _ : state) {
    for (int i = 0; i < kCount; ++i)
      benchmark::DoNotOptimize(c->Item(d.lookup_variants[i]));
  }
  state.SetItemsProcessed(state.iterations() * kCount);
}
BENCHMARK(BM_FindKeyedCollection)->Unit(benchmark::kMillisecond);

void BM_FindStdMapPeer(benchmark::State& state) {
  const Data& d = TheData();
  std::map<std::string, Ref<Object>> m;
  for (int i = 0; i < kCount; ++i) m.emplace(Folded(d.keys[i]), d.objects[i]);
  for (auto _ : state) {
    for (int i = 0; i < kCount; ++i) {
      auto it = m.find(Folded(d.lookups[i]));
      benchmark::DoNotOptimize(it->second);
    }
  }
  state.SetItemsProcessed(state.iterations() * kCount);
}
BENCHMARK(BM_FindStdMapPeer)->Unit(benchmark::kMillisecond);

void BM_KeyedStore(benchmark::State& state) {
  const Data& d = TheData();
  for (auto _ : state) {
    KeyedStore<Ref<Object>> s;
    for (int i = 0; i < kCount; ++i) s.Add(d.objects[i], d.keys[i]);
    for (int i = 0; i < kCount; ++i)
      benchmark::DoNotOptimize(s.Find(d.lookups[i]));
  }
  state.SetItemsProcessed(state.iterations() * kCount);
}
BENCHMARK(BM_KeyedStore)->Unit(benchmark::kMillisecond);

// Removing from the front until empty: positions shift, keys stay right.
void BM_KeyedStoreRemoveFront(benchmark::State& state) {
  const Data& d = TheData();
  for (auto _ : state) {
    KeyedStore<Ref<Object>> s;
    for (int i = 0; i < kCount; ++i) s.Add(d.objects[i], d.keys[i]);
    while (!s.empty()) s.RemoveAt(1);
  }
  state.SetItemsProcessed(state.iterations() * kCount);
}
BENCHMARK(BM_KeyedStoreRemoveFront)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace kvl

BENCHMARK_MAIN();
