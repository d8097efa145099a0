#!/bin/sh
# The main job: builds the model runner and the blocks of the examples (CMake
# configure and build in build/), runs an example model on the embedded host
# (by default examples/chicago_year.json, a year at Chicago O'Hare from its
# typical-year weather file) and says where its CSV file and its plot went.
#
#   host/cli/run-example.sh [simrun options]
#
# Environment: EXAMPLE (the model's name in examples/, default chicago_year;
# roof is the other one this script builds for), BUILD_DIR (default build/),
# OUTPUT_DIR (default build/examples/), JOBS (parallel build jobs, default
# the number of CPUs). The plot needs gnuplot (Debian package gnuplot-nox);
# without it only the CSV file is written.
set -e
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${BUILD_DIR:-$root/build}
out=${OUTPUT_DIR:-$build/examples}
jobs=${JOBS:-$(nproc 2>/dev/null || echo 2)}
example=${EXAMPLE:-chicago_year}

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j "$jobs" --target simrun heliolean heliohour topflux planeflux atmoglow sashflow

plot=""
if command -v gnuplot >/dev/null 2>&1; then
  plot="$example.png"
else
  echo "gnuplot is not installed (Debian package gnuplot-nox): no plot, only the CSV file."
fi
"$build/bin/simrun" --quiet --output-dir "$out" ${plot:+--plot "$plot"} "$@" "$root/examples/$example.json"
echo
case $example in
  chicago_year) echo "Chicago O'Hare, a typical year (hourly weather, 15-minute steps) done:" ;;
  roof) echo "Roof example (21 June, one-minute steps) done:" ;;
  *) echo "Example $example done:" ;;
esac
echo "  CSV file: $out/$example.csv"
[ "$example" = chicago_year ] && echo "  the room: $out/chicago_room.csv"
[ -n "$plot" ] && echo "  plot:     $out/$plot"
exit 0
