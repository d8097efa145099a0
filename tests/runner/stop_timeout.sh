#!/bin/sh
# simrun stopped by timeout, as a supervisor stops it:
#   timeout --preserve-status -s INT <seconds> simrun model.json
# run <runs> times in a row. timeout signals simrun and then its own process
# group, so simrun gets SIGINT twice at once. Every run must end with
# simrun's stop message and status 130, and the CSV file's last time must
# equal the last time tablogger logged: both files hold every step computed.
#
#   tests/runner/stop_timeout.sh <simrun> [runs [seconds]]
#
# By default ten runs of 3 seconds each; the test suite runs ten of 1 second
# (the signals arrive together whatever the run's length). Exit status 77
# when timeout is not there.
set -u
simrun=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
runs=${2:-10}
seconds=${3:-3}
if ! command -v timeout >/dev/null 2>&1; then
    echo "stop_timeout: skipped: no timeout program (GNU coreutils)"
    exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cat >"$work/model.json" <<'EOF'
{"start": 0, "stop": 1e9, "step": 1,
 "sources": [{"name": "clock", "type": "clock"}],
 "blocks": [{"name": "d", "type": "heliolean", "inputs": ["clock"]},
            {"name": "log", "type": "tablogger", "parameters": [1, "log.txt"], "inputs": [["clock", "clock"]]}],
 "sinks": [{"type": "csv", "file": "rows.csv", "signals": ["clock", "d"]}]}
EOF
failed=0
run=1
while [ "$run" -le "$runs" ]; do
    (cd "$work" && timeout --preserve-status -s INT "$seconds" "$simrun" --no-progress -q model.json 2>err.txt)
    status=$?
    csv_last=$(tail -n 1 "$work/rows.csv" | cut -d, -f1)
    log_last=$(tail -n 1 "$work/log.txt" | awk '{ printf "%d", $1 }')
    said=$(grep -c '^simrun: stopped by SIGINT at t = .*; every row up to it is written$' "$work/err.txt")
    if [ "$status" -ne 130 ] || [ "$said" -ne 1 ] || [ "$csv_last" != "$log_last" ] || [ -z "$csv_last" ]; then
        echo "run $run: status $status, CSV ends at t = $csv_last, tablogger at t = $log_last; simrun said:"
        cat "$work/err.txt"
        failed=1
    else
        echo "run $run: status 130, both files end at t = $csv_last"
    fi
    run=$((run + 1))
done
exit $failed
