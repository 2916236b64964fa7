#!/usr/bin/env bash
# Installs a built tree into a temporary prefix and uses it as another
# project would: checks the installed headers stand on their own, builds
# the examples and tests/consumer/boundary.cc against the prefix with
# CMake's find_package, the event bus example also with pkg-config and
# plain g++, runs them and the installed kvl tool.
#   tests/install_consumer.sh [build-dir] [--headers-only]
# --headers-only stops after the checks of the installed tree (a quick test
# that the suite runs).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix

fail() { echo "install_consumer: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$prefix" >/dev/null

# Every kvl/ header an installed header includes is installed too, and none
# is from an internal/ folder.
bad=0
while IFS= read -r line; do
  file=${line%%:*}
  inc=$(sed -E 's/.*#include "([^"]+)".*/\1/' <<<"${line#*:}")
  if [[ $inc == */internal/* || ! -f $prefix/include/$inc ]]; then
    echo "${file#"$prefix"/}: includes $inc, which is not installed" >&2
    bad=1
  fi
done < <(grep -r '^#include "kvl/' "$prefix/include" || true)
((bad == 0)) || fail "installed headers are not self-contained"
[ -z "$(find "$prefix/include" -path '*internal*')" ] ||
  fail "internal headers were installed"
libdir=$(dirname "$(find "$prefix" -name libkvlcommon.so.1.1 | head -1)")
for lib in libkvlcommon.so libkvlcommon.so.1 libkvlcommon.so.1.1; do
  [ -e "$libdir/$lib" ] || fail "$lib is not installed"
done

[ "${2:-}" = --headers-only ] && exit 0

examples=$prefix/share/doc/kvlcommon/examples
example=$examples/event_bus_example.cc
[ -f "$example" ] || fail "the examples are not installed"
run() {  # program [args...]: runs it against the installed library
  LD_LIBRARY_PATH=$libdir "$@"
}
check_run() {  # how, program
  local out
  out=$(run "$2") || fail "$1: the program failed"
  grep -q '^monitor saw 4 events:$' <<<"$out" ||
    fail "$1: unexpected output: $out"
  echo "install_consumer: $1 ok"
}

# With find_package: every example, and the checks of what crosses the
# library's boundary (type information, shared state). A class or function
# that the library does not export fails the link here.
cmake -S tests/consumer -B "$work/cmake" -DCMAKE_PREFIX_PATH="$prefix" \
  -DEXAMPLES="$examples" >/dev/null
cmake --build "$work/cmake" -j"$(nproc)" >/dev/null ||
  fail "find_package: the consumer does not build against the installed tree"
check_run "find_package" "$work/cmake/event_bus_example"
for program in "$work"/cmake/*_example "$work/cmake/poll_loop"; do
  args=()
  [[ $program == */timers_example ]] && args=(--virtual)
  (cd "$work" && run "$program" "${args[@]}" >/dev/null) ||
    fail "find_package: ${program##*/} failed"
done
run "$work/cmake/boundary" || fail "find_package: boundary checks failed"
echo "install_consumer: find_package examples and boundary ok"

# With pkg-config and plain g++.
flags=$(PKG_CONFIG_PATH=$libdir/pkgconfig pkg-config --cflags --libs kvlcommon)
# shellcheck disable=SC2086
g++ -std=c++20 -o "$work/app_pc" "$example" $flags
check_run "pkg-config" "$work/app_pc"

# Installed under /usr the tool needs no RUNPATH (the loader finds the
# library); in any other prefix it finds the library beside it.
configured=$(sed -n 's/^CMAKE_INSTALL_PREFIX:PATH=//p' "$build/CMakeCache.txt")
runpath=$(readelf -d "$prefix/bin/kvl" | grep -E 'RUNPATH|RPATH' || true)
if [ "$configured" = /usr ]; then
  [ -z "$runpath" ] || fail "the kvl tool for /usr has a run path: $runpath"
  classes=$(run "$prefix"/bin/kvl classes) || fail "the installed kvl tool failed"
else
  classes=$("$prefix"/bin/kvl classes) || fail "the installed kvl tool failed"
fi
grep -q 'KVLCommon.KVLConstants' <<<"$classes" ||
  fail "the installed kvl tool lists no classes"
echo "install_consumer: installed kvl tool ok"
