// Cost of KVLPath's path functions, which the configuration readers call for
// every include line, beside std::filesystem::path doing the same lexical
// work: directory part, resolving a relative name, and the relative form.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>

#include "kvl/files/kvl_path.h"
#include "kvl/runtime/variant.h"

namespace kvl {
namespace {

namespace fs = std::filesystem;

const std::string kFile = "/etc/app/conf.d/sub/main.cfg";
const std::string kRel = "../inc/./common.cfg";
const std::string kBase = "/etc/app/conf.d/sub";
const std::string kOther = "/etc/app/shared/inc/common.cfg";

void BM_DirPart_KVLPath(benchmark::State& state) {
  auto path = MakeRef<KVLPath>();
  for (auto _ : state) benchmark::DoNotOptimize(path->DirPart(kFile));
}
BENCHMARK(BM_DirPart_KVLPath);

void BM_DirPart_StdFilesystem(benchmark::State& state) {
  for (auto _ : state)
    benchmark::DoNotOptimize(fs::path(kFile).parent_path().string());
}
BENCHMARK(BM_DirPart_StdFilesystem);

void BM_DirPart_LateBound(benchmark::State& state) {
  auto path = MakeRef<KVLPath>();
  Variant args[1];
  for (auto _ : state) {
    args[0] = Variant(kFile);
    benchmark::DoNotOptimize(path->Invoke("DirPart", CallKind::kMethod, args));
  }
}
BENCHMARK(BM_DirPart_LateBound);

void BM_RelToAbs_KVLPath(benchmark::State& state) {
  auto path = MakeRef<KVLPath>();
  for (auto _ : state)
    benchmark::DoNotOptimize(path->RelPathToAbsPath(kRel, kBase));
}
BENCHMARK(BM_RelToAbs_KVLPath);

void BM_RelToAbs_StdFilesystem(benchmark::State& state) {
  for (auto _ : state)
    benchmark::DoNotOptimize(
        (fs::path(kBase) / kRel).lexically_normal().string());
}
BENCHMARK(BM_RelToAbs_StdFilesystem);

void BM_AbsToRel_KVLPath(benchmark::State& state) {
  auto path = MakeRef<KVLPath>();
  for (auto _ : state)
    benchmark::DoNotOptimize(path->AbsPathToRelPath(kOther, kBase));
}
BENCHMARK(BM_AbsToRel_KVLPath);

void BM_AbsToRel_StdFilesystem(benchmark::State& state) {
  for (auto _ : state)
    benchmark::DoNotOptimize(
        fs::path(kOther).lexically_relative(kBase).string());
}
BENCHMARK(BM_AbsToRel_StdFilesystem);

}  // namespace
}  // namespace kvl

BENCHMARK_MAIN();
