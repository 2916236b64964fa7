// SortedCollection: 30,000 objects inserted in random order and each found
// again, beside a sorted std::vector doing the same work with
// std::lower_bound (insertion with vector::insert at the lower_bound
// position). In the BM_* runs one iteration builds the container and finds
// every element; the BM_Find* runs build once and time the finds alone.
//
// Orders measured:
// - key text through a typed IExtractor (default comparator) vs the vector
//   ordered by the same case-insensitive key comparison;
// - the default pair, reading each element's "Key" by name, vs the same
//   vector;
// - a typed IComparator on an integer field vs the vector ordered by that
//   field.
//
// Two more finds split the gaps: lower_bound through the same IComparator
// (the cost of its indirect call) and lower_bound calling "Key" by name
// (the cost of the calls by name).
//
// BM_SortedDrainFront empties a collection from position 0 beside a
// std::multiset emptied from begin().
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "kvl/collections/sorted_collection.h"
#include "kvl/collections/sorted_comparator.h"
#include "kvl/collections/sorted_extractor.h"
#include "kvl/runtime/variant_convert.h"

namespace kvl {
namespace {

constexpr int kCount = 30000;

// An element with a text key (also published as its member "Key") and a
// number.
class Item : public Object {
  KVL_DECLARE_CLASS(Item)
 public:
  Item(std::string key, int32_t due) : key_(std::move(key)), due_(due) {}
  std::string Key() const { return key_; }
  const std::string& key() const { return key_; }
  int32_t due() const { return due_; }

 private:
  std::string key_;
  int32_t due_;
};

const ClassInfo& Item::StaticClass() {
  static const ClassInfo info = ClassBuilder<Item>("Item", ClassKind::kPrivate)
                                    .Get<&Item::Key>("Key")
                                    .Build();
  return info;
}

const Item& AsItem(const Ref<Object>& o) {
  return static_cast<Item&>(*o);
}

class ItemKey : public Object, public IExtractor {
  KVL_DECLARE_CLASS(ItemKey)
 public:
  std::string Key(const Ref<Object>& o) override { return AsItem(o).key(); }
};
const ClassInfo& ItemKey::StaticClass() {
  static const ClassInfo info =
      ClassBuilder<ItemKey>("ItemKey", ClassKind::kPrivate).Build();
  return info;
}

class ByDue : public Object, public IComparator {
  KVL_DECLARE_CLASS(ByDue)
 public:
  int16_t compare(const Ref<Object>&, const Ref<Object>& a,
                  const Ref<Object>& b) override {
    int32_t x = AsItem(a).due(), y = AsItem(b).due();
    return x < y ? -1 : x > y ? 1 : 0;
  }
};
const ClassInfo& ByDue::StaticClass() {
  static const ClassInfo info =
      ClassBuilder<ByDue>("ByDue", ClassKind::kPrivate).Build();
  return info;
}

struct Data {
  std::vector<Ref<Item>> items;  // in random order
  std::vector<Variant> keys;     // their keys as text values
  std::vector<Variant> objects;  // the items as object values
};

const Data& TheData() {
  static const Data* data = [] {
    auto* d = new Data;
    std::vector<int32_t> order(kCount);
    for (int32_t i = 0; i < kCount; ++i) order[i] = i;
    std::shuffle(order.begin(), order.end(), std::mt19937(7));
    for (int32_t n : order) {
      char key[32];
      std::snprintf(key, sizeof key, "Timer.%05d.Due", n);
      d->items.push_back(MakeRef<Item>(key, n));
      d->keys.emplace_back(key);
      d->objects.emplace_back(d->items.back());
    }
    return d;
  }();
  return *data;
}

void Report(benchmark::State& state) {
  state.SetItemsProcessed(state.iterations() * kCount);
}

// Finds each element by its key text.
void BM_SortedTypedExtractor(benchmark::State& state) {
  const Data& data = TheData();
  for (auto _ : state) {
    auto coll = MakeRef<SortedCollection>();
    coll->SetExtractorRef(MakeRef<ItemKey>());
    for (const Ref<Item>& item : data.items) coll->Insert(item);
    for (const Variant& key : data.keys)
      benchmark::DoNotOptimize(coll->IndexOf(key));
  }
  Report(state);
}
BENCHMARK(BM_SortedTypedExtractor)->Unit(benchmark::kMillisecond);

// The default pair: each element's "Key" is called by name.
void BM_SortedDefaultLateBound(benchmark::State& state) {
  const Data& data = TheData();
  for (auto _ : state) {
    auto coll = MakeRef<SortedCollection>();
    for (const Ref<Item>& item : data.items) coll->Insert(item);
    for (const Variant& key : data.keys)
      benchmark::DoNotOptimize(coll->IndexOf(key));
  }
  Report(state);
}
BENCHMARK(BM_SortedDefaultLateBound)->Unit(benchmark::kMillisecond);

bool KeyLess(const Ref<Item>& a, const Ref<Item>& b) {
  return CompareTextNoCase(a->key(), b->key()) < 0;
}

// Peer of both key-ordered runs.
void BM_VectorLowerBoundByKey(benchmark::State& state) {
  const Data& data = TheData();
  for (auto _ : state) {
    std::vector<Ref<Item>> v;
    for (const Ref<Item>& item : data.items)
      v.insert(std::lower_bound(v.begin(), v.end(), item, KeyLess), item);
    for (const Variant& key : data.keys) {
      const std::string& k = key.AsString();
      auto it = std::lower_bound(v.begin(), v.end(), k,
                                 [](const Ref<Item>& a, const std::string& b) {
                                   return CompareTextNoCase(a->key(), b) < 0;
                                 });
      benchmark::DoNotOptimize(it);
    }
  }
  Report(state);
}
BENCHMARK(BM_VectorLowerBoundByKey)->Unit(benchmark::kMillisecond);

// Finds each element by object, ordered by a typed comparator.
void BM_SortedTypedComparator(benchmark::State& state) {
  const Data& data = TheData();
  for (auto _ : state) {
    auto coll = MakeRef<SortedCollection>();
    coll->SetComparatorRef(MakeRef<ByDue>());
    for (const Ref<Item>& item : data.items) coll->Insert(item);
    for (const Variant& o : data.objects)
      benchmark::DoNotOptimize(coll->IndexOf(o));
  }
  Report(state);
}
BENCHMARK(BM_SortedTypedComparator)->Unit(benchmark::kMillisecond);

// Peer of the typed comparator.
void BM_VectorLowerBoundByDue(benchmark::State& state) {
  const Data& data = TheData();
  auto less = [](const Ref<Item>& a, const Ref<Item>& b) {
    return a->due() < b->due();
  };
  for (auto _ : state) {
    std::vector<Ref<Item>> v;
    for (const Ref<Item>& item : data.items)
      v.insert(std::lower_bound(v.begin(), v.end(), item, less), item);
    for (const Ref<Item>& item : data.items)
      benchmark::DoNotOptimize(
          std::lower_bound(v.begin(), v.end(), item, less));
  }
  Report(state);
}
BENCHMARK(BM_VectorLowerBoundByDue)->Unit(benchmark::kMillisecond);

// ---- finds alone
// -------------------------------------------------------------

Ref<SortedCollection> Built(Ref<Object> comparator, Ref<Object> extractor) {
  auto coll = MakeRef<SortedCollection>();
  coll->SetComparatorRef(std::move(comparator));
  coll->SetExtractorRef(std::move(extractor));
  for (const Ref<Item>& item : TheData().items) coll->Insert(item);
  return coll;
}

void FindAll(benchmark::State& state, SortedCollection& coll,
             const std::vector<Variant>& sought) {
  for (auto _ : state)
    for (const Variant& x : sought) benchmark::DoNotOptimize(coll.IndexOf(x));
  Report(state);
}

void BM_FindSortedTypedExtractor(benchmark::State& state) {
  FindAll(state, *Built(nullptr, MakeRef<ItemKey>()), TheData().keys);
}
BENCHMARK(BM_FindSortedTypedExtractor)->Unit(benchmark::kMillisecond);

void BM_FindSortedDefaultLateBound(benchmark::State& state) {
  FindAll(state, *Built(nullptr, nullptr), TheData().keys);
}
BENCHMARK(BM_FindSortedDefaultLateBound)->Unit(benchmark::kMillisecond);

// Looks every key up in the items sorted by key, with lower_bound ordering
// an item before a key text by `less`.
template <class Less>
void FindVectorByKey(benchmark::State& state, Less less) {
  const Data& data = TheData();
  std::vector<Ref<Item>> v(data.items.begin(), data.items.end());
  std::sort(v.begin(), v.end(), KeyLess);
  for (auto _ : state) {
    for (const Variant& key : data.keys) {
      benchmark::DoNotOptimize(
          std::lower_bound(v.begin(), v.end(), key.AsString(), less));
    }
  }
  Report(state);
}

void BM_FindVectorByKey(benchmark::State& state) {
  FindVectorByKey(state, [](const Ref<Item>& a, const std::string& b) {
    return CompareTextNoCase(a->key(), b) < 0;
  });
}
BENCHMARK(BM_FindVectorByKey)->Unit(benchmark::kMillisecond);

void BM_FindSortedTypedComparator(benchmark::State& state) {
  FindAll(state, *Built(MakeRef<ByDue>(), nullptr), TheData().objects);
}
BENCHMARK(BM_FindSortedTypedComparator)->Unit(benchmark::kMillisecond);

void BM_FindVectorByDue(benchmark::State& state) {
  const Data& data = TheData();
  auto less = [](const Ref<Item>& a, const Ref<Item>& b) {
    return a->due() < b->due();
  };
  std::vector<Ref<Item>> v(data.items.begin(), data.items.end());
  std::sort(v.begin(), v.end(), less);
  for (auto _ : state) {
    for (const Ref<Item>& item : data.items)
      benchmark::DoNotOptimize(
          std::lower_bound(v.begin(), v.end(), item, less));
  }
  Report(state);
}
BENCHMARK(BM_FindVectorByDue)->Unit(benchmark::kMillisecond);

// What the typed comparator's finds cost beyond their indirect call: the
// same vector searched by lower_bound through the same C++ IComparator.
void BM_FindVectorByDueIndirect(benchmark::State& state) {
  const Data& data = TheData();
  auto comparator = MakeRef<ByDue>();
  IComparator* by_due = comparator.get();
  benchmark::DoNotOptimize(by_due);
  Ref<Object> extractor;
  auto less = [&](const Ref<Object>& a, const Ref<Object>& b) {
    return by_due->compare(extractor, a, b) < 0;
  };
  std::vector<Ref<Object>> v(data.items.begin(), data.items.end());
  std::sort(v.begin(), v.end(), less);
  std::vector<Ref<Object>> sought(data.items.begin(), data.items.end());
  for (auto _ : state) {
    for (const Ref<Object>& item : sought)
      benchmark::DoNotOptimize(
          std::lower_bound(v.begin(), v.end(), item, less));
  }
  Report(state);
}
BENCHMARK(BM_FindVectorByDueIndirect)->Unit(benchmark::kMillisecond);

// What the late-bound finds cost beyond their calls by name: the sorted
// vector searched by lower_bound calling each element's "Key" by name.
void BM_FindVectorByKeyByName(benchmark::State& state) {
  FindVectorByKey(state, [](const Ref<Item>& a, const std::string& b) {
    Variant got = a->Invoke("Key", CallKind::kGet, {});
    return CompareTextNoCase(got.AsString(), b) < 0;
  });
}
BENCHMARK(BM_FindVectorByKeyByName)->Unit(benchmark::kMillisecond);

// ---- removal from the front
// ----------------------------------------------------

// The typed-comparator collection emptied by removing position 0, as a
// queue of timers does; building it is not timed. Beside a std::multiset
// ordered the same way and emptied from begin().
void BM_SortedDrainFront(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    Ref<SortedCollection> coll = Built(MakeRef<ByDue>(), nullptr);
    state.ResumeTiming();
    while (coll->Count() > 0) coll->Remove(int16_t{0});
  }
  Report(state);
}
BENCHMARK(BM_SortedDrainFront)->Unit(benchmark::kMillisecond);

void BM_MultisetDrainFront(benchmark::State& state) {
  auto less = [](const Ref<Item>& a, const Ref<Item>& b) {
    return a->due() < b->due();
  };
  for (auto _ : state) {
    state.PauseTiming();
    std::multiset<Ref<Item>, decltype(less)> set(less);
    for (const Ref<Item>& item : TheData().items) set.insert(item);
    state.ResumeTiming();
    while (!set.empty()) set.erase(set.begin());
  }
  Report(state);
}
BENCHMARK(BM_MultisetDrainFront)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace kvl

BENCHMARK_MAIN();
