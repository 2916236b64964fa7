// The value text form on a long list: CVariantToStr writing and
// CStrToVariant reading back a list of integers, beside the same work done
// with std::string appends and std::from_chars, as a user would otherwise
// write it. Two sizes show that writing stays linear in the list length
// (compare the items per second, and the fitted complexity).
#include <benchmark/benchmark.h>

#include <charconv>
#include <cstdint>
#include <string>
#include <vector>

#include "kvl/runtime/variant.h"
#include "kvl/strings/kvl_strings.h"

namespace kvl {
namespace {

int32_t ValueAt(int32_t i) {
  return (i * 7919) % 100000 - 50000;
}

// A list of n values with the spare trailing slot, as the reader builds it.
Variant MakeList(int32_t n) {
  Variant list = Variant::MakeArray(VarType::kVariant, 0, n);
  for (int32_t i = 0; i < n; ++i) list.Array().At(i) = Variant(ValueAt(i));
  return list;
}

void BM_CVariantToStr(benchmark::State& state) {
  const auto n = static_cast<int32_t>(state.range(0));
  const Variant list = MakeList(n);
  KVLStrings& strings = Strings();
  for (auto _ : state) benchmark::DoNotOptimize(strings.CVariantToStr(list));
  state.SetItemsProcessed(state.iterations() * n);
  state.SetComplexityN(n);
}
BENCHMARK(BM_CVariantToStr)->Arg(10000)->Arg(100000)->Complexity(benchmark::oN);

void BM_CStrToVariant(benchmark::State& state) {
  const auto n = static_cast<int32_t>(state.range(0));
  KVLStrings& strings = Strings();
  const std::string text = strings.CVariantToStr(MakeList(n));
  for (auto _ : state)
    benchmark::DoNotOptimize(strings.CStrToVariant(text, false));
  state.SetItemsProcessed(state.iterations() * n);
  state.SetComplexityN(n);
}
BENCHMARK(BM_CStrToVariant)->Arg(10000)->Arg(100000)->Complexity(benchmark::oN);

// Peer: "[v,v,...]" built with std::to_chars and std::string::append.
void BM_PeerAppendToChars(benchmark::State& state) {
  const auto n = static_cast<int32_t>(state.range(0));
  std::vector<int32_t> values(static_cast<size_t>(n));
  for (int32_t i = 0; i < n; ++i) values[static_cast<size_t>(i)] = ValueAt(i);
  for (auto _ : state) {
    std::string out = "[";
    char digits[16];
    for (size_t i = 0; i < values.size(); ++i) {
      if (i > 0) out += ',';
      auto [end, ec] = std::to_chars(digits, digits + sizeof digits, values[i]);
      out.append(digits, end);
    }
    out += ']';
    benchmark::DoNotOptimize(out);
  }
  state.SetItemsProcessed(state.iterations() * n);
  state.SetComplexityN(n);
}
BENCHMARK(BM_PeerAppendToChars)
    ->Arg(10000)
    ->Arg(100000)
    ->Complexity(benchmark::oN);

// Peer: the same text read back into a vector with std::from_chars.
void BM_PeerFromChars(benchmark::State& state) {
  const auto n = static_cast<int32_t>(state.range(0));
  const std::string text = Strings().CVariantToStr(MakeList(n));
  for (auto _ : state) {
    std::vector<int32_t> values;
    const char* p = text.data() + 1;
    const char* end = text.data() + text.size();
    while (p < end) {
      int32_t v = 0;
      auto [next, ec] = std::from_chars(p, end, v);
      if (ec != std::errc()) break;
      values.push_back(v);
      p = next + 1;  // past "," or "]"
    }
    benchmark::DoNotOptimize(values);
  }
  state.SetItemsProcessed(state.iterations() * n);
  state.SetComplexityN(n);
}
BENCHMARK(BM_PeerFromChars)->Arg(10000)->Arg(100000)->Complexity(benchmark::oN);

}  // namespace
}  // namespace kvl

BENCHMARK_MAIN();
