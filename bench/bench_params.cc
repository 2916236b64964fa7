// Parameter strings: parsing and writing back a realistic mix of lines
// (commands, typed pairs, nested lists, quoted strings), against the same
// content written as JSON and parsed into a DOM by RapidJSON and by
// nlohmann::json. Reports MB/s of each format's own text, items per second
// and heap allocations per item (a replaced global operator new counts
// them).
#include <benchmark/benchmark.h>
#include <rapidjson/document.h>

#include <cstdio>
#include <nlohmann/json.hpp>
#include <random>
#include <string>
#include <vector>

#include "bench/allocation_counter.h"
#include "kvl/params/param_string.h"
#include "kvl/strings/kvl_strings.h"

namespace kvl {
namespace {

struct Corpus {
  std::vector<std::string> params;
  std::vector<std::string> json;
  size_t param_bytes = 0;
  size_t json_bytes = 0;
  int64_t items = 0;  // items in all the parameter trees
};

using WordList = const char* const[10];
WordList kWords = {"alpha",     "beta",  "gamma", "delta", "server01",
                   "client_17", "queue", "print", "job",   "done"};
// The same shapes with words beyond ASCII: accents, Greek, Cyrillic, CJK,
// emoji.
WordList kUtf8Words = {"caf\u00e9",
                       "na\u00efve",
                       "\u00c9tat",
                       "\u03b4\u03ad\u03bb\u03c4\u03b1",
                       "\u0441\u0435\u0440\u0432\u0435\u0440",
                       "\u65e5\u672c\u8a9e",
                       "\u30ad\u30e5\u30fc",
                       "\U0001F680launch",
                       "Stra\u00dfe_2",
                       "\u00fcber"};

// One line of each shape, with varying values, in both forms.
void AddLine(Corpus& c, int shape, std::mt19937& rng, const WordList& words) {
  auto word = [&] { return std::string(words[rng() % 10]); };
  auto num = [&](int mod) { return std::to_string(rng() % mod); };
  std::string p, j;
  switch (shape) {
    case 0: {
      std::string a = word(), b = word();
      p = "Foo/To/Whatever K1=" + a + " K2=" + b;
      j = R"({"command":"Foo/To/Whatever","K1":")" + a + R"(","K2":")" + b +
          "\"}";
      break;
    }
    case 1: {
      std::string id = num(30000), count = std::to_string(40000 + rng() % 9999),
                  ratio = "0." + num(99), queue = num(9);
      p = "Ev/Job/Done Id=" + id + " Count=" + count + " Ratio=" + ratio +
          " Name='print queue " + queue + "' Ok=True";
      j = R"({"command":"Ev/Job/Done","Id":)" + id + ",\"Count\":" + count +
          ",\"Ratio\":" + ratio + R"(,"Name":"print queue )" + queue +
          R"(","Ok":true})";
      break;
    }
    case 2: {
      std::string a = word(), b = word(), c2 = word(), p1 = num(9000),
                  p2 = num(9000), r = num(9);
      p = "Cfg Servers=[" + a + ", " + b + ", " + c2 + "] Ports=[" + p1 + ", " +
          p2 + "] Opts=[Retry=" + r + ", Timeout=2.5]";
      j = R"({"command":"Cfg","Servers":[")" + a + "\",\"" + b + "\",\"" + c2 +
          R"("],"Ports":[)" + p1 + "," + p2 + R"(],"Opts":{"Retry":)" + r +
          R"(,"Timeout":2.5}})";
      break;
    }
    case 3: {
      std::string n = num(100), s = word();
      p = "Stat N/I4=" + n + " S/A[8]=" + s + " Tags={1, 2, 3}";
      j = R"({"command":"Stat","N":)" + n + R"(,"S":")" + s +
          R"(","Tags":[1,2,3]})";
      break;
    }
    default: {
      std::string from = word(), to = word(), level = num(5);
      p = "Msg Text='Hello, world' From=" + from + " To=" + to +
          " Level=" + level;
      j = R"({"command":"Msg","Text":"Hello, world","From":")" + from +
          R"(","To":")" + to + R"(","Level":)" + level + "}";
      break;
    }
  }
  c.params.push_back(p);
  c.json.push_back(j);
  c.param_bytes += p.size();
  c.json_bytes += j.size();
}

int64_t CountItems(const ParamItem& item) {
  int64_t n = 0;
  if (const CVParamItem* children = item.Children())
    for (const Ref<ParamItem>& c : children->slots().elements())
      n += 1 + CountItems(*c);
  return n;
}

Corpus MakeCorpus(const WordList& words) {
  Corpus c;
  std::mt19937 rng(42);
  for (int i = 0; i < 1000; ++i) AddLine(c, i % 5, rng, words);
  Ref<ParamString> ps = MakeRef<ParamString>();
  for (const std::string& line : c.params) {
    if (!ps->Parse(line)) {
      std::fprintf(stderr, "bad line: %s\n", line.c_str());
      std::abort();
    }
    c.items += CountItems(*ps->params());
  }
  for (const std::string& line : c.json) {
    rapidjson::Document d;
    if (d.Parse(line.c_str()).HasParseError()) {
      std::fprintf(stderr, "bad json: %s\n", line.c_str());
      std::abort();
    }
  }
  return c;
}

const Corpus& TheCorpus() {
  static const Corpus corpus = MakeCorpus(kWords);
  return corpus;
}
const Corpus& TheUtf8Corpus() {
  static const Corpus corpus = MakeCorpus(kUtf8Words);
  return corpus;
}

// Items are counted in the parameter trees for every format: the JSON
// lines carry the same content.
void Report(benchmark::State& state, size_t bytes, int64_t allocations,
            const Corpus& c = TheCorpus()) {
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(bytes));
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * c.items);
  state.counters["allocs/item"] =
      static_cast<double>(allocations) /
      static_cast<double>(static_cast<int64_t>(state.iterations()) * c.items);
}

void ParseParams(benchmark::State& state, const Corpus& c) {
  Strings();
  Ref<ParamString> ps = MakeRef<ParamString>();
  int64_t before = g_allocations;
  for (auto _ : state) {
    for (const std::string& line : c.params)
      benchmark::DoNotOptimize(ps->Parse(line));
  }
  Report(state, c.param_bytes, g_allocations - before, c);
}

template <unsigned kFlags>
void ParseJson(benchmark::State& state, const Corpus& c) {
  int64_t before = g_allocations;
  for (auto _ : state) {
    for (const std::string& line : c.json) {
      rapidjson::Document d;
      d.Parse<kFlags>(line.c_str(), line.size());
      benchmark::DoNotOptimize(d.HasParseError());
    }
  }
  Report(state, c.json_bytes, g_allocations - before, c);
}

void BM_ParamStringParse(benchmark::State& state) {
  ParseParams(state, TheCorpus());
}
BENCHMARK(BM_ParamStringParse);

void BM_ParamStringParseAndWrite(benchmark::State& state) {
  const Corpus& c = TheCorpus();
  Strings();
  Ref<ParamString> ps = MakeRef<ParamString>();
  int64_t before = g_allocations;
  for (auto _ : state) {
    for (const std::string& line : c.params) {
      ps->Parse(line);
      benchmark::DoNotOptimize(ps->ToString());
    }
  }
  Report(state, c.param_bytes, g_allocations - before);
}
BENCHMARK(BM_ParamStringParseAndWrite);

void BM_ParamStringWrite(benchmark::State& state) {
  const Corpus& c = TheCorpus();
  Strings();
  std::vector<Ref<ParamString>> trees;
  for (const std::string& line : c.params) {
    trees.push_back(MakeRef<ParamString>());
    trees.back()->Parse(line);
  }
  int64_t before = g_allocations;
  for (auto _ : state) {
    for (const Ref<ParamString>& ps : trees)
      benchmark::DoNotOptimize(ps->ToString());
  }
  Report(state, c.param_bytes, g_allocations - before);
}
BENCHMARK(BM_ParamStringWrite);

// A new object for every line, as a configuration load makes one per item:
// what creating, parsing and releasing a ParamString costs together.
void BM_ParamStringNewPerLine(benchmark::State& state) {
  const Corpus& c = TheCorpus();
  Strings();
  int64_t before = g_allocations;
  for (auto _ : state) {
    for (const std::string& line : c.params) {
      Ref<ParamString> ps = MakeRef<ParamString>();
      benchmark::DoNotOptimize(ps->Parse(line));
    }
  }
  Report(state, c.param_bytes, g_allocations - before);
}
BENCHMARK(BM_ParamStringNewPerLine);

void BM_RapidJsonParse(benchmark::State& state) {
  ParseJson<rapidjson::kParseDefaultFlags>(state, TheCorpus());
}
BENCHMARK(BM_RapidJsonParse);

void BM_NlohmannJsonParse(benchmark::State& state) {
  const Corpus& c = TheCorpus();
  int64_t before = g_allocations;
  for (auto _ : state) {
    for (const std::string& line : c.json)
      benchmark::DoNotOptimize(nlohmann::json::parse(line));
  }
  Report(state, c.json_bytes, g_allocations - before);
}
BENCHMARK(BM_NlohmannJsonParse);

// The same shapes with UTF-8 words, which the tokenizer reads as letters.
void BM_ParamStringParseUtf8(benchmark::State& state) {
  ParseParams(state, TheUtf8Corpus());
}
BENCHMARK(BM_ParamStringParseUtf8);

void BM_RapidJsonParseUtf8(benchmark::State& state) {
  ParseJson<rapidjson::kParseValidateEncodingFlag>(state, TheUtf8Corpus());
}
BENCHMARK(BM_RapidJsonParseUtf8);

}  // namespace
}  // namespace kvl

BENCHMARK_MAIN();
