#!/usr/bin/env bash
# Builds KVLCommon on a Debian machine, installing what is missing.
#   ./build.sh run    build, then run the main program (kvl classes)
#   ./build.sh test   build, then run the whole test suite
#   ./build.sh asan   build and test under AddressSanitizer + UBSan
#   ./build.sh tsan   build and test under ThreadSanitizer
#   ./build.sh bench  build (Release, in build-bench) and run the benchmarks,
#                     then print the table of goals (bench/goals.txt)
#   ./build.sh fuzz   build the fuzz targets with clang and run each for 60 s
#   ./build.sh deb    build the Debian packages libkvlcommon1, libkvlcommon-dev
set -euo pipefail
cd "$(dirname "$0")"

PACKAGES=(cmake g++ make ccache libgtest-dev libgmock-dev libbenchmark-dev
          rapidjson-dev nlohmann-json3-dev libboost-dev pkg-config
          libglib2.0-dev libinih-dev libspdlog-dev libpugixml-dev)
JOBS=$(nproc 2>/dev/null || echo 2)

install_missing() {
  local missing=()
  for p in "${PACKAGES[@]}"; do
    dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
  done
  if ((${#missing[@]})); then
    echo "installing: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    $sudo apt-get update -q
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q "${missing[@]}"
  fi
}

# ccache makes rebuilds in fresh clones and worktrees fast: paths are taken
# relative to the checkout, so every clone shares one cache.
export CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=true
configure() {  # dir, extra cmake args...
  local dir=$1
  shift
  local launcher=()
  command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  cmake -S . -B "$dir" "${launcher[@]}" "$@" >/dev/null
}
configure_and_build() {  # dir, extra cmake args...
  configure "$@"
  cmake --build "$1" -j"$JOBS"
}

mode=${1:-run}
if [ "$mode" = fuzz ]; then
  PACKAGES+=(clang libclang-rt-14-dev)
fi
if [ "$mode" = deb ]; then
  PACKAGES+=(dpkg-dev)  # dpkg-shlibdeps, for the packages' dependencies
fi
install_missing
case "$mode" in
  run)
    configure_and_build build
    ./build/tools/kvl classes
    ;;
  test)
    configure_and_build build
    ctest --test-dir build --output-on-failure -j"$JOBS"
    ;;
  asan)
    configure_and_build build-asan -DKVL_SANITIZE=ON -DKVL_BENCH=OFF \
      -DCMAKE_BUILD_TYPE=Debug
    ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
      UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
      ctest --test-dir build-asan --output-on-failure -j"$JOBS"
    ;;
  tsan)
    configure_and_build build-tsan -DKVL_TSAN=ON -DKVL_BENCH=OFF
    TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
      ctest --test-dir build-tsan --output-on-failure -j"$JOBS"
    ;;
  bench)
    # A Release build of its own, so the test build keeps its build type;
    # only the benchmark programs are built. Each program runs with
    # repetitions (medians in build-bench/results/<program>.json), then one
    # table compares the medians with the goals in bench/goals.txt.
    configure build-bench -DCMAKE_BUILD_TYPE=Release -DKVL_BENCH=ON
    cmake --build build-bench -j"$JOBS" --target benchmarks
    results=build-bench/results
    rm -rf "$results"
    mkdir -p "$results"
    for b in build-bench/bench/bench_*; do
      [ -x "$b" ] || continue
      name=$(basename "$b")
      echo "== $name"
      start=$SECONDS
      "$b" --benchmark_repetitions="${KVL_BENCH_REPETITIONS:-5}" \
        --benchmark_min_time="${KVL_BENCH_MIN_TIME:-0.1}" \
        --benchmark_report_aggregates_only=true \
        --benchmark_out="$results/$name.json" --benchmark_out_format=json ||
        echo "$name failed (exit $?)"
      echo "== $name: $((SECONDS - start)) s"
    done
    echo
    if [ -x build-bench/bench/summarize_benchmarks ]; then
      build-bench/bench/summarize_benchmarks bench/goals.txt "$results"
    fi
    ;;
  fuzz)
    # Each target with its time budget (seconds) and its longest input.
    targets=(param_string:60:4096 table_load:30:4096 config:30:8192
             event_text:30:4096 xml_config:20:8192)
    configure build-fuzz -DCMAKE_CXX_COMPILER=clang++ -DKVL_FUZZ=ON \
      -DKVL_BENCH=OFF -DKVL_WERROR=OFF
    cmake --build build-fuzz -j"$JOBS" --target "${targets[@]/%:*/_fuzz}"
    for t in "${targets[@]}"; do
      IFS=: read -r name seconds max_len <<<"$t"
      mkdir -p "build-fuzz/corpus/$name"
      ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
        "./build-fuzz/fuzz/${name}_fuzz" -max_total_time="$seconds" \
        -timeout=10 -max_len="$max_len" "build-fuzz/corpus/$name" \
        "fuzz/corpus/$name"
    done
    ;;
  deb)
    # Only what is installed is built (library, tool, registry client);
    # the packages land in build-deb/.
    configure build-deb -DCMAKE_INSTALL_PREFIX=/usr -DKVL_BENCH=OFF \
      -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON
    cmake --build build-deb -j"$JOBS" --target kvlcommon kvl kvl_activation
    (cd build-deb && cpack -G DEB)
    ;;
  *)
    echo "usage: $0 run|test|asan|tsan|bench|fuzz|deb" >&2
    exit 2
    ;;
esac
