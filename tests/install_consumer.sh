#!/usr/bin/env bash
# Installs a built tree into a temporary prefix and uses it as another
# project would: checks the installed headers stand on their own, builds
# the event bus example against the prefix with CMake's find_package and
# with pkg-config and plain g++, runs both and the installed kvl tool.
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

example=$prefix/share/doc/kvlcommon/examples/event_bus_example.cc
[ -f "$example" ] || fail "the examples are not installed"
check_run() {  # how, program
  local out
  out=$(LD_LIBRARY_PATH=$libdir "$2") ||
    fail "$1: the program failed"
  grep -q '^monitor saw 4 events:$' <<<"$out" ||
    fail "$1: unexpected output: $out"
  echo "install_consumer: $1 ok"
}

# With find_package.
cmake -S tests/consumer -B "$work/cmake" -DCMAKE_PREFIX_PATH="$prefix" \
  -DEXAMPLE="$example" >/dev/null
cmake --build "$work/cmake" >/dev/null
check_run "find_package" "$work/cmake/app"

# With pkg-config and plain g++.
flags=$(PKG_CONFIG_PATH=$libdir/pkgconfig pkg-config --cflags --libs kvlcommon)
# shellcheck disable=SC2086
g++ -std=c++20 -o "$work/app_pc" "$example" $flags
check_run "pkg-config" "$work/app_pc"

# The installed tool finds its library without help.
classes=$("$prefix"/bin/kvl classes) || fail "the installed kvl tool failed"
grep -q 'KVLCommon.KVLConstants' <<<"$classes" ||
  fail "the installed kvl tool lists no classes"
echo "install_consumer: installed kvl tool ok"
