#!/bin/sh
# A study spread by an engine that exists, against the same study run by
# simstudy alone on this machine:
#
#   study_engines.sh parallel SIMSTUDY   two shards under GNU parallel, then collect
#   study_engines.sh slurm SIMSTUDY      the job array and collect job that
#                                        'simstudy slurm' writes, submitted to
#                                        the Slurm that SLURM_CONF names (run it
#                                        under private_slurm.sh)
#
# The merged table must hold each of the study's six runs once, in order,
# with the varied values of the product and every number equal to the
# local run's (all but the wall-clock seconds). Exits with 77 (skipped)
# when the engine is not installed.
set -u
mode=$1
simstudy=$2
here=$(cd "$(dirname "$0")" && pwd)
study=$here/roof_study.json

fail() { echo "FAIL: $*"; exit 1; }

work=$(mktemp -d /tmp/simblocks-engines.XXXXXX)
chmod 755 "$work"
trap 'rm -rf "$work"' EXIT

# The table without its 'seconds' column (the runs' wall-clock times).
table() {
  awk -F, 'NR == 1 { for (i = 1; i <= NF; i++) if ($i == "seconds") s = i }
           { out = ""; for (i = 1; i <= NF; i++) if (i != s) out = out (out == "" && i == 1 ? "" : ",") $i; print out }' "$1"
}

case $mode in
parallel)
  command -v parallel >/dev/null 2>&1 || { echo "SKIP: GNU parallel is not installed (Debian package parallel)"; exit 77; }
  # The documented line: one job per shard; the job log lets a second
  # call with --resume skip the shards that ended well.
  parallel --will-cite --joblog "$work/jobs.log" \
    "$simstudy" run "$study" -o "$work/spread" --no-progress --shard {}/2 -j 1 ::: 1 2 \
    || fail "a shard under GNU parallel failed"
  [ "$(awk 'NR > 1 && $7 == 0' "$work/jobs.log" | wc -l)" -eq 2 ] || fail "the job log does not show two shards that ended well"
  "$simstudy" collect "$work/spread" || fail "collect failed"
  # The same with no files kept: the same table, nothing but the records and it.
  parallel --will-cite "$simstudy" run "$study" -o "$work/nofiles" --files none --no-progress --shard {}/2 -j 1 ::: 1 2 \
    || fail "a shard with --files none under GNU parallel failed"
  "$simstudy" collect "$work/nofiles" || fail "collect (--files none) failed"
  ;;
slurm)
  [ -n "${SLURM_CONF:-}" ] || { echo "SKIP: no Slurm to submit to (run under private_slurm.sh)"; exit 77; }
  line=$("$simstudy" slurm "$study" -o "$work/spread" --tasks 2) || fail "simstudy slurm failed"
  grep -q '^#SBATCH --array=0-1$' "$work/spread/slurm/study.sbatch" || fail "the job array is not 0-1"
  echo "submitting: $line"
  sh -c "$line" || fail "the submission failed"
  # The same with no files kept: the same table, nothing but the records, the scripts and it.
  line=$("$simstudy" slurm "$study" -o "$work/nofiles" --tasks 2 --files none) || fail "simstudy slurm --files none failed"
  sh -c "$line" || fail "the submission (--files none) failed"
  # Wait for the array and the collect job (at most two minutes).
  i=0
  while [ -n "$(squeue --noheader --format=%i)" ]; do
    i=$((i + 1))
    [ $i -le 1200 ] || { squeue; fail "the jobs did not end within two minutes"; }
    sleep 0.1
  done
  for f in "$work"/spread/slurm/*.out; do echo "--- $f"; cat "$f"; done
  [ -f "$work/spread/study.csv" ] || fail "the collect job wrote no table"
  rm -rf "$work/nofiles/slurm"
  ;;
*)
  echo "usage: $0 parallel|slurm SIMSTUDY" >&2
  exit 2
  ;;
esac

"$simstudy" run "$study" -o "$work/local" -j 1 --no-progress || fail "the local run failed"

# The six runs of the product, in order: the first varied path outermost.
expected="run,blocks.sky.parameters[1],blocks.solar_time.parameters[2],status
1,0,-10,ok
2,0,-8,ok
3,0,-6,ok
4,1,-10,ok
5,1,-8,ok
6,1,-6,ok"
got=$(cut -d, -f1-4 "$work/spread/study.csv")
[ "$got" = "$expected" ] || fail "the merged table's runs are not the study's:
$got"
table "$work/local/study.csv" > "$work/local.csv"
table "$work/spread/study.csv" > "$work/spread.csv"
cmp -s "$work/local.csv" "$work/spread.csv" || { diff "$work/local.csv" "$work/spread.csv"; fail "the merged table differs from the local run's"; }
for r in 1 2 3 4 5 6; do
  folder=$("$simstudy" where "$work/spread" $r) || fail "run $r kept no files"
  [ "$folder" = "$work/spread/runs/0000/00$r" ] || fail "run $r's files are in '$folder', not runs/0000/00$r"
  [ -f "$folder/roof.csv" ] || fail "run $r left no roof.csv"
  cmp -s "$folder/roof.csv" "$work/local/runs/0000/00$r/roof.csv" || fail "run $r: roof.csv differs from the local run's"
done
table "$work/nofiles/study.csv" > "$work/nofiles.csv"
cmp -s "$work/local.csv" "$work/nofiles.csv" || { diff "$work/local.csv" "$work/nofiles.csv"; fail "the table with --files none differs from the local run's"; }
left=$(cd "$work/nofiles" && find . -type f ! -path './manifest/*' ! -name study.csv)
[ -z "$left" ] || fail "--files none left files: $left"
echo "study_engines $mode: six runs in two shards, merged table equal to the local run's, also with --files none"
