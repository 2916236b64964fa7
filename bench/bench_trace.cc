// The trace facility on its two paths, beside spdlog (the logger a C++
// user would pick instead), both writing the same line:
// «2024/03/05 07:08:09 Loader   reading main.cfg at line 42».
//
// - BM_TraceFilteredOut: KVLTrace::Trace at a level the filter rejects,
//   with a mechanism set; beside BM_SpdlogFilteredOut, a logger call below
//   the logger's level. Both report heap allocations per call.
// - BM_TraceLineToFile: a passing line through KVLStreamTrace to a file
//   (stamp, indent, one write(2) per line, so nothing is lost on a crash);
//   beside BM_SpdlogLineToFile/1, spdlog's file sink flushed after every
//   line (the same durability), and BM_SpdlogLineToFile/0, spdlog's default
//   buffered file sink.
//
// The line benchmarks run a fixed number of iterations so that the files
// stay small; run with --benchmark_repetitions and compare medians. The
// spdlog peers are skipped when spdlog was not found at configure time.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "bench/allocation_counter.h"
#include "kvl/trace/kvl_trace.h"
#include "kvl/trace/stream_trace.h"

#ifdef KVL_HAVE_SPDLOG
#include <spdlog/sinks/basic_file_sink.h>
#include <spdlog/spdlog.h>
#endif

namespace kvl {
namespace {

constexpr int64_t kLines = 100000;

std::string TempPath(const char* tag) {
  return "/tmp/kvl_bench_trace_" + std::string(tag) + "_" +
         std::to_string(::getpid());
}

// Sets up the trace with a stream mechanism to `path` and `filter`;
// undoes it at the end.
class TraceSetup {
 public:
  TraceSetup(const std::string& path, KVLTraceFilters filter)
      : path_(path), trace_(MakeRef<KVLTrace>()) {
    std::remove(path_.c_str());
    auto stream = MakeRef<KVLStreamTrace>();
    stream->SetFileName(path_);
    trace_->SetTraceMechanismRef(stream);
    trace_->SetTraceFilter(filter);
  }
  ~TraceSetup() {
    trace_->SetTraceMechanismRef(nullptr);
    std::remove(path_.c_str());
  }
  KVLTrace& trace() { return *trace_; }

 private:
  std::string path_;
  Ref<KVLTrace> trace_;
};

void ReportAllocations(benchmark::State& state, int64_t before) {
  state.counters["allocs/call"] =
      benchmark::Counter(static_cast<double>(g_allocations - before),
                         benchmark::Counter::kAvgIterations);
}

void BM_TraceFilteredOut(benchmark::State& state) {
  TraceSetup setup(TempPath("filtered"), STF_Moderate);
  KVLTrace& trace = setup.trace();
  const int64_t before = g_allocations;
  for (auto _ : state) {
    trace.Trace(STL_Developer, "Loader", "reading main.cfg at line 42");
  }
  ReportAllocations(state, before);
}
BENCHMARK(BM_TraceFilteredOut);

void BM_TraceLineToFile(benchmark::State& state) {
  TraceSetup setup(TempPath("kvl"), STF_Moderate);
  KVLTrace& trace = setup.trace();
  for (auto _ : state) {
    trace.Trace(STL_Verbose, "Loader", "reading main.cfg at line 42");
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_TraceLineToFile)->Iterations(kLines);

#ifdef KVL_HAVE_SPDLOG

// A logger named after the source, as a spdlog user would set it up, with
// the trace line's layout.
std::shared_ptr<spdlog::logger> SpdlogTo(const std::string& path) {
  std::remove(path.c_str());
  auto logger = spdlog::basic_logger_mt("Loader", path);
  logger->set_pattern("%Y/%m/%d %H:%M:%S %n %v");
  return logger;
}

void BM_SpdlogFilteredOut(benchmark::State& state) {
  const std::string path = TempPath("spdlog_filtered");
  auto logger = SpdlogTo(path);
  logger->set_level(spdlog::level::info);
  const int64_t before = g_allocations;
  for (auto _ : state) {
    logger->debug("  reading main.cfg at line 42");
  }
  ReportAllocations(state, before);
  spdlog::drop_all();
  std::remove(path.c_str());
}
BENCHMARK(BM_SpdlogFilteredOut);

void BM_SpdlogLineToFile(benchmark::State& state) {
  const std::string path = TempPath("spdlog");
  auto logger = SpdlogTo(path);
  if (state.range(0) == 1) logger->flush_on(spdlog::level::info);
  for (auto _ : state) {
    logger->info("  reading main.cfg at line 42");
  }
  state.SetItemsProcessed(state.iterations());
  spdlog::drop_all();
  logger.reset();
  std::remove(path.c_str());
}
BENCHMARK(BM_SpdlogLineToFile)->Arg(1)->Arg(0)->Iterations(kLines);

#else

void BM_SpdlogPeers(benchmark::State& state) {
  state.SkipWithError("spdlog was not found when the build was configured");
  for (auto _ : state) {
  }
}
BENCHMARK(BM_SpdlogPeers);

#endif

}  // namespace
}  // namespace kvl

BENCHMARK_MAIN();
