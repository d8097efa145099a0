#!/bin/sh
# Builds the fuzzers (the twenty-three deliverables' and the runner's file readers')
# and runs each one for a bounded time from the committed
# seed corpus (tests/fuzz-corpus/<target>/). Any crash, sanitizer report,
# leak, timeout or memory blow-up fails the run; the failing input is left in
# <build>/artifacts/.
#
#   fuzz/ci-fuzz.sh                     every target, 20 s each, two at a time
#   FUZZ_SECONDS=60 fuzz/ci-fuzz.sh wait folderscan
#
# Environment: FUZZ_SECONDS (per target, default 20), JOBS (targets run side
# by side, default 2), FUZZ_BUILD (build folder, default build-fuzz), FUZZ_RUNS
# (stop each target after this many inputs instead of after FUZZ_SECONDS).
set -e
cd "$(dirname "$0")/.."
ROOT=$(pwd)
BUILD=${FUZZ_BUILD:-build-fuzz}
case $BUILD in /*) ;; *) BUILD=$ROOT/$BUILD ;; esac
SECONDS_EACH=${FUZZ_SECONDS:-20}
JOBS=${JOBS:-2}

if [ "$1" = "--one" ]; then
  # One target (called back by the loop below).
  t=$2
  work=$BUILD/corpus/$t
  mkdir -p "$work" "$BUILD/artifacts" "$BUILD/logs"
  limit="-max_total_time=$SECONDS_EACH"
  [ -n "$FUZZ_RUNS" ] && limit="-runs=$FUZZ_RUNS"
  # New inputs go to the build's corpus; the committed seeds are only read.
  seeds=$ROOT/tests/fuzz-corpus/$t
  [ -d "$seeds" ] || seeds=
  if ASAN_OPTIONS=detect_leaks=1:verify_asan_link_order=0 \
     UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
     "$BUILD/fuzz_$t" $limit -timeout=20 -rss_limit_mb=2048 -print_final_stats=1 \
       -artifact_prefix="$BUILD/artifacts/$t-" "$work" $seeds \
       > "$BUILD/logs/$t.log" 2>&1; then
    echo "fuzz $t: ok, $(grep '^simblocks-fuzz' "$BUILD/logs/$t.log" | sed 's/^simblocks-fuzz [a-z_]*: //')"
  else
    echo "fuzz $t: FAILED (log $BUILD/logs/$t.log)"
    grep -E -A12 '^\*\*\*|ERROR|runtime error|SUMMARY' "$BUILD/logs/$t.log" | head -40
    exit 1
  fi
  exit 0
fi

CC=${CC:-clang} CXX=${CXX:-clang++} cmake -S fuzz -B "$BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo > /dev/null
cmake --build "$BUILD" -j "$JOBS" > "$BUILD/build.log" 2>&1 || { tail -40 "$BUILD/build.log"; exit 1; }

TARGETS=${*:-"heliolean heliohour topflux planeflux heliopose heliokit slopegain tiltflux atmoglow sashflow pump
  weatherread stampin stampout yearelapsed calendarnow clocknow wait wallpulse degreeswap printer tablogger folderscan
  model_file csv_source epw"}
export FUZZ_BUILD="$BUILD" FUZZ_SECONDS="$SECONDS_EACH" FUZZ_RUNS
# shellcheck disable=SC2086
printf '%s\n' $TARGETS | xargs -P "$JOBS" -I{} "$0" --one {}
echo "All fuzz targets passed."
