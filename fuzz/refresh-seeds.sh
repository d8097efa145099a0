#!/bin/sh
# Replaces the committed seed corpus of each target (tests/fuzz-corpus/<t>/)
# with a small set picked from a campaign's corpus (<build>/corpus/<t>/) and
# the present seeds: at most FUZZ_SEEDS inputs (default 40), chosen greedily
# for the coverage features they add, as libFuzzer's merge reports them.
#
#   FUZZ_BUILD=build-fuzz fuzz/refresh-seeds.sh [targets...]
set -e
cd "$(dirname "$0")/.."
ROOT=$(pwd)
BUILD=${FUZZ_BUILD:-build-fuzz}
case $BUILD in /*) ;; *) BUILD=$ROOT/$BUILD ;; esac
MAX=${FUZZ_SEEDS:-40}
TARGETS=${*:-$(cd "$BUILD/corpus" && ls)}

for t in $TARGETS; do
  src=$BUILD/corpus/$t
  [ -d "$src" ] || { echo "no corpus for $t in $BUILD/corpus"; exit 1; }
  seeds=$ROOT/tests/fuzz-corpus/$t
  [ -d "$seeds" ] || seeds=
  tmp=$(mktemp -d)
  mkdir "$tmp/merged" "$tmp/picked"
  ASAN_OPTIONS=detect_leaks=0 "$BUILD/fuzz_$t" -merge=1 -merge_control_file="$tmp/control" \
    "$tmp/merged" "$src" $seeds > "$tmp/log" 2>&1 || { tail "$tmp/log"; exit 1; }
  python3 "$ROOT/fuzz/pick-seeds.py" "$tmp/control" "$tmp/picked" "$MAX" "$t"
  rm -rf "$ROOT/tests/fuzz-corpus/$t"
  mv "$tmp/picked" "$ROOT/tests/fuzz-corpus/$t"
  rm -rf "$tmp"
done
