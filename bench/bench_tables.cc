// Keyed tables over 1,000,000 rows with random 12-character keys (letters
// of both cases and digits), each beside the peer a user would pick instead,
// in the same process:
//
// - BuildIndex vs copying the keys from the same table into a vector of
//   (key, row) and std::sort with the same case-insensitive order;
// - 1,000,000 ItemIndex lookups (existing keys, shuffled) vs std::lower_bound
//   on that sorted vector;
// - SaveToFile vs one write() of a prebuilt buffer of the file's size, both
//   followed by fsync (the save must reach the disk before it replaces the
//   old file); BM_WriteOnceNoSync shows the write alone;
// - LoadFromFile vs one read() of the whole file into a prebuilt buffer;
// - 100,000 InsertKeys into the built index vs the same keys inserted into
//   a std::multiset of the 1,000,000 keys with the same order (the
//   container a user would pick for a sorted set that takes insertions).
//
// Files go to $TMPDIR (or /tmp).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "kvl/runtime/variant_convert.h"
#include "kvl/tables/kvl_table_utils.h"
#include "kvl/tables/table_interfaces.h"

namespace kvl {
namespace {

constexpr int32_t kRows = 1000000;
constexpr int32_t kInserts = 100000;

std::vector<std::string> RandomKeys(int32_t n, uint32_t seed) {
  static const char kChars[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  std::mt19937 random(seed);
  std::vector<std::string> keys(static_cast<size_t>(n));
  for (std::string& key : keys) {
    key.resize(12);
    for (char& c : key) c = kChars[random() % (sizeof kChars - 1)];
  }
  return keys;
}

class BenchTable : public Object, public ITableAccessor {
  KVL_DECLARE_CLASS(BenchTable)
 public:
  BenchTable() : keys_(RandomKeys(kRows + kInserts, 1)), count_(kRows) {}
  void set_count(int32_t n) { count_ = n; }
  const std::string& key(int32_t row) const { return keys_[row]; }

  int32_t InitialSize() override { return 1024; }
  int32_t DoubleThreshold() override { return 1 << 16; }
  int32_t IncrSize() override { return 1 << 16; }
  bool Has2ndIndex() override { return false; }
  std::string Key1(int32_t row) override { return keys_[row]; }
  std::string Key2(int32_t row) override { return keys_[row]; }
  int32_t Count() override { return count_; }
  Variant Item(int32_t) override { return Variant(); }
  bool Deleted(int32_t) override { return false; }

 private:
  std::vector<std::string> keys_;
  int32_t count_;
};

const ClassInfo& BenchTable::StaticClass() {
  static const ClassInfo info =
      ClassBuilder<BenchTable>("BenchTable", ClassKind::kPrivate)
          .Implements(&ITableAccessor::StaticClass)
          .Build();
  return info;
}

struct Fixture {
  Ref<BenchTable> table = MakeRef<BenchTable>();
  Ref<KVLTableUtils> utils = MakeRef<KVLTableUtils>();
  std::vector<std::pair<std::string, int32_t>> sorted;
  std::vector<std::string> lookups;
  std::string path;

  Fixture() {
    utils->SetTableAccessorRef(table);
    utils->BuildIndex();
    for (int32_t row = 0; row < kRows; ++row)
      sorted.emplace_back(table->key(row), row);
    std::sort(sorted.begin(), sorted.end(), Less);
    for (int32_t row = 0; row < kRows; ++row)
      lookups.push_back(table->key(row));
    std::shuffle(lookups.begin(), lookups.end(), std::mt19937(2));
    const char* tmp = std::getenv("TMPDIR");
    path = std::string(tmp && *tmp ? tmp : "/tmp") + "/bench_tables." +
           std::to_string(getpid());
  }
  ~Fixture() { unlink(path.c_str()); }

  static bool Less(const std::pair<std::string, int32_t>& a,
                   const std::pair<std::string, int32_t>& b) {
    return CompareTextNoCase(a.first, b.first) < 0;
  }
  // The size of the index file: both blocks, index 1 empty.
  static size_t FileSize() { return 4 + 4 + size_t{kRows} * (2 + 12 + 4) + 4; }
};

Fixture& Shared() {
  static Fixture* fixture = new Fixture;
  return *fixture;
}

void BM_BuildIndex(benchmark::State& state) {
  Fixture& f = Shared();
  for (auto _ : state) f.utils->BuildIndex();
}
BENCHMARK(BM_BuildIndex)->Unit(benchmark::kMillisecond);

void BM_StdSortPeer(benchmark::State& state) {
  Fixture& f = Shared();
  for (auto _ : state) {
    std::vector<std::pair<std::string, int32_t>> v;
    v.reserve(kRows);
    for (int32_t row = 0; row < kRows; ++row)
      v.emplace_back(f.table->Key1(row), row);
    std::sort(v.begin(), v.end(), Fixture::Less);
    benchmark::DoNotOptimize(v.data());
  }
}
BENCHMARK(BM_StdSortPeer)->Unit(benchmark::kMillisecond);

void BM_ItemIndex(benchmark::State& state) {
  Fixture& f = Shared();
  for (auto _ : state) {
    int64_t sum = 0;
    for (const std::string& key : f.lookups) sum += f.utils->ItemIndex(key);
    benchmark::DoNotOptimize(sum);
  }
}
BENCHMARK(BM_ItemIndex)->Unit(benchmark::kMillisecond);

void BM_LowerBoundPeer(benchmark::State& state) {
  Fixture& f = Shared();
  for (auto _ : state) {
    int64_t sum = 0;
    for (const std::string& key : f.lookups) {
      auto it = std::lower_bound(
          f.sorted.begin(), f.sorted.end(), key,
          [](const std::pair<std::string, int32_t>& e, const std::string& k) {
            return CompareTextNoCase(e.first, k) < 0;
          });
      sum += it != f.sorted.end() && CompareTextNoCase(it->first, key) == 0
                 ? it->second
                 : -1;
    }
    benchmark::DoNotOptimize(sum);
  }
}
BENCHMARK(BM_LowerBoundPeer)->Unit(benchmark::kMillisecond);

void BM_SaveToFile(benchmark::State& state) {
  Fixture& f = Shared();
  for (auto _ : state) {
    if (!f.utils->SaveToFile(f.path)) state.SkipWithError("save failed");
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * Fixture::FileSize());
}
BENCHMARK(BM_SaveToFile)->Unit(benchmark::kMillisecond);

void WriteOnce(benchmark::State& state, bool sync) {
  Fixture& f = Shared();
  const std::string buffer(Fixture::FileSize(), 'x');
  const std::string path = f.path + ".peer";
  for (auto _ : state) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    if (write(fd, buffer.data(), buffer.size()) !=
            static_cast<ssize_t>(buffer.size()) ||
        (sync && fsync(fd) != 0))
      state.SkipWithError("write failed");
    close(fd);
  }
  unlink(path.c_str());
  state.SetBytesProcessed(int64_t(state.iterations()) * buffer.size());
}
void BM_WriteOncePeer(benchmark::State& state) {
  WriteOnce(state, true);
}
BENCHMARK(BM_WriteOncePeer)->Unit(benchmark::kMillisecond);
void BM_WriteOnceNoSync(benchmark::State& state) {
  WriteOnce(state, false);
}
BENCHMARK(BM_WriteOnceNoSync)->Unit(benchmark::kMillisecond);

void BM_LoadFromFile(benchmark::State& state) {
  Fixture& f = Shared();
  if (!f.utils->SaveToFile(f.path)) state.SkipWithError("save failed");
  auto loaded = MakeRef<KVLTableUtils>();
  loaded->SetTableAccessorRef(f.table);
  for (auto _ : state) {
    if (!loaded->LoadFromFile(f.path)) state.SkipWithError("load failed");
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * Fixture::FileSize());
}
BENCHMARK(BM_LoadFromFile)->Unit(benchmark::kMillisecond);

void BM_ReadOncePeer(benchmark::State& state) {
  Fixture& f = Shared();
  if (!f.utils->SaveToFile(f.path)) state.SkipWithError("save failed");
  std::string buffer(Fixture::FileSize(), '\0');
  for (auto _ : state) {
    const int fd = open(f.path.c_str(), O_RDONLY);
    if (read(fd, buffer.data(), buffer.size()) !=
        static_cast<ssize_t>(buffer.size()))
      state.SkipWithError("read failed");
    close(fd);
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * buffer.size());
}
BENCHMARK(BM_ReadOncePeer)->Unit(benchmark::kMillisecond);

// Each iteration starts from a freshly built index of 1,000,000 rows (not
// timed) and adds 100,000 rows the way a client does: index, then count.
void BM_InsertKey(benchmark::State& state) {
  Fixture& f = Shared();
  for (auto _ : state) {
    state.PauseTiming();
    f.table->set_count(kRows);
    f.utils->BuildIndex();
    state.ResumeTiming();
    for (int32_t row = kRows; row < kRows + kInserts; ++row) {
      f.utils->InsertKey(f.table->key(row), row);
      f.table->set_count(row + 1);
    }
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * kInserts);
}
BENCHMARK(BM_InsertKey)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_MultisetInsertPeer(benchmark::State& state) {
  Fixture& f = Shared();
  struct NoCaseLess {
    bool operator()(const std::string& a, const std::string& b) const {
      return CompareTextNoCase(a, b) < 0;
    }
  };
  for (auto _ : state) {
    state.PauseTiming();
    auto keys = std::make_unique<std::multiset<std::string, NoCaseLess>>();
    for (int32_t row = 0; row < kRows; ++row) keys->insert(f.table->key(row));
    state.ResumeTiming();
    for (int32_t row = kRows; row < kRows + kInserts; ++row)
      keys->insert(f.table->key(row));
    state.PauseTiming();
    keys.reset();
    state.ResumeTiming();
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * kInserts);
}
BENCHMARK(BM_MultisetInsertPeer)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
}  // namespace kvl

BENCHMARK_MAIN();
