#!/usr/bin/env bash
# Builds KVLCommon on a Debian machine, installing what is missing.
#   ./build.sh run    build, then run the main program (kvl classes)
#   ./build.sh test   build, then run the whole test suite
#   ./build.sh asan   build and test under AddressSanitizer + UBSan
#   ./build.sh bench  build and run the benchmarks
set -euo pipefail
cd "$(dirname "$0")"

PACKAGES=(cmake g++ make libgtest-dev libgmock-dev libbenchmark-dev)
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

configure_and_build() {  # dir, extra cmake args...
  local dir=$1
  shift
  cmake -S . -B "$dir" "$@" >/dev/null
  cmake --build "$dir" -j"$JOBS"
}

mode=${1:-run}
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
  bench)
    configure_and_build build -DCMAKE_BUILD_TYPE=Release
    for b in build/bench/bench_*; do "$b"; done
    ;;
  *)
    echo "usage: $0 run|test|asan|bench" >&2
    exit 2
    ;;
esac
