// Configuration files: loading a 50,000-line configuration (200 sections,
// items of 3 to 6 typed pairs, comments, continued items, four included
// files) eagerly (every item parsed, the message loop pumped between
// items; also through a ConfigReader with a progress sink) and lazily
// (items kept as text), against the same data written
// as one INI file (one key per pair) read by inih into an unordered_map
// and by boost::property_tree::read_ini. Every load reads its files from
// disk once. Reports lines per second of each format's own files.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <unordered_map>

#include "kvl/config/config_reader.h"
#include "kvl/config/ps_config_reader.h"

#ifdef KVL_BENCH_HAVE_INIH
#include <ini.h>
#endif
#ifdef KVL_BENCH_HAVE_PROPERTY_TREE
#include <boost/property_tree/ini_parser.hpp>
#include <boost/property_tree/ptree.hpp>
#endif

namespace {

constexpr int kSections = 200;
constexpr int kTargetLines = 50000;
constexpr int kIncludedFiles = 4;

struct Data {
  std::string dir;
  std::string main_file;
  std::string ini_file;
  int64_t config_lines = 0;
  int64_t ini_lines = 0;
};

Data& TheData() {
  static Data data;
  return data;
}

// Writes the configuration and its INI twin into a new directory.
void Generate() {
  Data& d = TheData();
  char pattern[] = "/tmp/kvl_bench_config_XXXXXX";
  if (!mkdtemp(pattern)) std::abort();
  d.dir = pattern;
  d.main_file = d.dir + "/main.cfg";
  d.ini_file = d.dir + "/all.ini";
  std::mt19937 rng(42);
  auto pick = [&](int n) { return static_cast<int>(rng() % n); };
  const char* keys[] = {"Speed", "Count", "Name", "On", "Limit", "Gain"};

  std::string files[kIncludedFiles + 1];
  std::string ini;
  const int lines_per_section = kTargetLines / kSections - 1;
  for (int s = 0; s < kSections; ++s) {
    // The first sections live in the included files.
    std::string& out = files[s < kIncludedFiles * 10 ? 1 + s / 10 : 0];
    std::string name = "Section" + std::to_string(s);
    out += "[" + name + "]\n";
    ini += "[" + name + "]\n";
    d.ini_lines += 1;
    d.config_lines += 1;
    for (int line = 0, item = 0; line < lines_per_section; ++item) {
      if (pick(20) == 0) {
        out += "; tuning note " + std::to_string(line) + "\n";
        ini += "; tuning note " + std::to_string(line) + "\n";
        ++line;
        ++d.ini_lines;
        continue;
      }
      std::string command = "Axis" + std::to_string(item);
      std::string text = command;
      int pairs = 3 + pick(4);
      bool continued = pick(8) == 0 && line + 1 < lines_per_section;
      for (int p = 0; p < pairs; ++p) {
        std::string value;
        switch (p % 6) {
          case 0: value = std::to_string(pick(1000)) + ".25"; break;
          case 1: value = std::to_string(pick(100000)); break;
          case 2: value = "'motor " + std::to_string(pick(50)) + "'"; break;
          case 3: value = pick(2) ? "True" : "False"; break;
          case 4: value = std::to_string(pick(30000)); break;
          default: value = "-" + std::to_string(pick(90)) + ".5"; break;
        }
        text += (continued && p == pairs / 2) ? " _\n     " : " ";
        text += std::string(keys[p]) + "=" + value;
        ini += command + "." + keys[p] + "=" + value + "\n";
        ++d.ini_lines;
      }
      out += text + "\n";
      line += continued ? 2 : 1;
    }
    d.config_lines += lines_per_section;
  }
  for (int i = 1; i <= kIncludedFiles; ++i) {
    std::string name = "inc" + std::to_string(i) + ".cfg";
    files[0] += "@Include " + name + "\n";
    ++d.config_lines;
    std::ofstream(d.dir + "/" + name) << files[i];
  }
  std::ofstream(d.main_file) << files[0];
  std::ofstream(d.ini_file) << ini;
}

// Reports `lines` per load as lines per second.
void SetLinesRate(benchmark::State& state, int64_t lines) {
  state.counters["lines/s"] = benchmark::Counter(
      static_cast<double>(lines * state.iterations()),
      benchmark::Counter::kIsRate);
}

void LoadConfig(benchmark::State& state, bool lazy) {
  const Data& d = TheData();
  for (auto _ : state) {
    auto reader = kvl::MakeRef<kvl::PSConfigReader>();
    reader->SetLazyEvaluation(lazy);
    if (!reader->LoadConfigFile(d.main_file)) state.SkipWithError("load failed");
    benchmark::DoNotOptimize(reader->sections().size());
  }
  SetLinesRate(state, d.config_lines);
}

void BM_ConfigLoadEager(benchmark::State& state) { LoadConfig(state, false); }
BENCHMARK(BM_ConfigLoadEager)->Unit(benchmark::kMillisecond);

void BM_ConfigLoadLazy(benchmark::State& state) { LoadConfig(state, true); }
BENCHMARK(BM_ConfigLoadLazy)->Unit(benchmark::kMillisecond);

// The eager load as clients make it: through a ConfigReader, whose default
// reader sends every notification on, with a sink that takes progress.
class ProgressSink : public kvl::Object, public kvl::ConfigReaderEvents {
 public:
  const kvl::ClassInfo& Class() const override {
    return kvl::ConfigReaderEvents::StaticClass();
  }
  void ScanError(int32_t, const std::string&) override {}
  void NotifyProgress(double ratio) override { last = ratio; }
  void EditError(const std::string&) override {}
  void Updated(kvl::ConfigUpdateActions, const std::string&,
               int16_t) override {}
  double last = 0;
};

void BM_ConfigReaderLoadEager(benchmark::State& state) {
  const Data& d = TheData();
  for (auto _ : state) {
    auto reader = kvl::MakeRef<kvl::ConfigReader>();
    reader->Connect(kvl::MakeRef<ProgressSink>());
    if (!reader->LoadConfigFile(d.main_file)) state.SkipWithError("load failed");
    benchmark::DoNotOptimize(reader->DefaultReader()->sections().size());
  }
  SetLinesRate(state, d.config_lines);
}
BENCHMARK(BM_ConfigReaderLoadEager)->Unit(benchmark::kMillisecond);

#ifdef KVL_BENCH_HAVE_INIH
int StoreIni(void* user, const char* section, const char* name,
             const char* value) {
  auto& map = *static_cast<std::unordered_map<std::string, std::string>*>(user);
  map[std::string(section) + "." + name] = value;
  return 1;
}

void BM_IniLoadInih(benchmark::State& state) {
  const Data& d = TheData();
  for (auto _ : state) {
    std::unordered_map<std::string, std::string> map;
    if (ini_parse(d.ini_file.c_str(), &StoreIni, &map) != 0)
      state.SkipWithError("inih failed");
    benchmark::DoNotOptimize(map.size());
  }
  SetLinesRate(state, d.ini_lines);
}
BENCHMARK(BM_IniLoadInih)->Unit(benchmark::kMillisecond);
#endif

#ifdef KVL_BENCH_HAVE_PROPERTY_TREE
void BM_IniLoadPropertyTree(benchmark::State& state) {
  const Data& d = TheData();
  for (auto _ : state) {
    boost::property_tree::ptree tree;
    boost::property_tree::read_ini(d.ini_file, tree);
    benchmark::DoNotOptimize(tree.size());
  }
  SetLinesRate(state, d.ini_lines);
}
BENCHMARK(BM_IniLoadPropertyTree)->Unit(benchmark::kMillisecond);
#endif

}  // namespace

int main(int argc, char** argv) {
  Generate();
  std::printf("configuration: %lld lines in %d files; INI: %lld lines\n",
              static_cast<long long>(TheData().config_lines),
              kIncludedFiles + 1, static_cast<long long>(TheData().ini_lines));
#ifndef KVL_BENCH_HAVE_INIH
  std::printf("inih not found at configure time: its benchmark is skipped\n");
#endif
#ifndef KVL_BENCH_HAVE_PROPERTY_TREE
  std::printf("boost property_tree not found: its benchmark is skipped\n");
#endif
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::filesystem::remove_all(TheData().dir);
  return 0;
}
