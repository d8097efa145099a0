#!/bin/sh
# A site sweep of 50 weather files in a study: how much of its time goes to
# reading the files. Two studies of 50 runs of a year at hourly steps (the
# sky temperature from a weather file, bench/study/chicago_sky.json), on one
# worker: one over 50 different weather files (copies of the two real files
# under 50 names, so each is read: the worker's cache keeps a file by its
# name), one over 50 cloud covers with one file (read once). The difference
# of their processor times is the reading of 49 files. Goal: reading takes
# less than running. On a busy machine the numbers vary from run to run:
# take several.
#
#   bench/runner/site_sweep.sh build
set -eu
build=$(cd "${1:-build}" && pwd)
src=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/sites"
files=""
for i in $(seq -w 1 50); do
  if [ $((1$i % 2)) -eq 0 ]; then f=USA_IL_Chicago-OHare.725300_TMY3.epw; else f=PVGIS_tmy_45.000_8.000_2005_2023.epw; fi
  cp "$src/examples/data/weather/$f" "$work/sites/site$i.epw"
  files="$files${files:+, }\"sites/site$i.epw\""
done
sed "s|\"file\": \"../../examples/data/weather/USA_IL_Chicago-OHare.725300_TMY3.epw\"|\"file\": \"sites/site01.epw\"|" \
  "$src/bench/study/chicago_sky.json" > "$work/sky.json"
cat > "$work/sites.json" <<JSON
{"model": "sky.json", "vary": [{"set": "sources.weather.file", "values": [$files]}],
 "summary": {"sky": ["mean"]}}
JSON
cat > "$work/one.json" <<JSON
{"model": "sky.json", "vary": [{"set": "sources.cloud.value", "range": [0, 0.98, 0.02]}],
 "summary": {"sky": ["mean"]}}
JSON
# Processor seconds (user + system, the workers included) of a study run.
cpu() {
  rm -rf "$work/out"
  /usr/bin/time -f "%U %S" -o "$work/time" "$build/bin/simstudy" run "$work/$1" -o "$work/out" -j 1 -L "$build/lib" > /dev/null
  awk '{ print $1 + $2 }' "$work/time"
}
best() {  # the least of five (the times have a resolution of 10 ms)
  for k in 1 2 3 4 5; do cpu "$1"; done | sort -g | head -1
}
sites=$(best sites.json)
one=$(best one.json)
awk -v s="$sites" -v o="$one" 'BEGIN {
  read = (s - o) / 49; run = o / 50;
  printf "50 runs of a year at hourly steps, one worker (processor time, best of 5):\n";
  printf "  over 50 weather files    %7.3f s\n  over one weather file    %7.3f s\n", s, o;
  printf "  reading a file           %7.2f ms\n  a run (file read)        %7.2f ms\n", read * 1e3, run * 1e3;
  printf "  reading / running        %7.2f (goal: below 1) %s\n", read / run, read < run ? "MET" : "NOT MET";
}'
