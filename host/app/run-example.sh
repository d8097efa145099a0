#!/bin/sh
# The main job: builds the model runner and the blocks of the roof example
# (CMake configure and build in build/), runs examples/roof.json on the
# embedded host and says where its CSV file and its plot went.
#
#   host/app/run-example.sh [simrun options]
#
# Environment: BUILD_DIR (default build/), OUTPUT_DIR (default
# build/examples/), JOBS (parallel build jobs, default the number of CPUs).
# The plot needs gnuplot (Debian package gnuplot-nox); without it only the
# CSV file is written.
set -e
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${BUILD_DIR:-$root/build}
out=${OUTPUT_DIR:-$build/examples}
jobs=${JOBS:-$(nproc 2>/dev/null || echo 2)}

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j "$jobs" --target simrun heliolean heliohour topflux atmoglow

plot=""
if command -v gnuplot >/dev/null 2>&1; then
  plot="roof.png"
else
  echo "gnuplot is not installed (Debian package gnuplot-nox): no plot, only the CSV file."
fi
"$build/bin/simrun" --quiet --output-dir "$out" ${plot:+--plot "$plot"} "$@" "$root/examples/roof.json"
echo
echo "Roof example (21 June, one-minute steps) done:"
echo "  CSV file: $out/roof.csv"
[ -n "$plot" ] && echo "  plot:     $out/$plot"
exit 0
