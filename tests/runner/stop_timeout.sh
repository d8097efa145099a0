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
# Each run waits for its state, not for a time: once simrun is in its run
# loop (its CSV file has a row), it goes on for <seconds> more (default 3;
# the test suite gives 0), then timeout's timer fires: the test sends timeout
# the SIGALRM of its own timer, so the signals simrun gets are timeout's,
# whatever the machine's load. (timeout's own limit, ten minutes, only ends
# a run that never reaches its loop.) Exit status 77 when timeout is not
# there.
set -u
simrun=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
runs=${2:-10}
seconds=${3:-3}
if ! command -v timeout >/dev/null 2>&1; then
    echo "SKIP: no timeout program (GNU coreutils)"
    exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cat >"$work/model.json" <<'MODEL'
{"start": 0, "stop": 1e9, "step": 1,
 "sources": [{"name": "clock", "type": "clock"}],
 "blocks": [{"name": "d", "type": "heliolean", "inputs": ["clock"]},
            {"name": "log", "type": "tablogger", "parameters": [1, "log.txt"], "inputs": [["clock", "clock"]]}],
 "sinks": [{"type": "csv", "file": "rows.csv", "signals": ["clock", "d"]}]}
MODEL
failed=0
run=1
while [ "$run" -le "$runs" ]; do
    rm -f "$work/rows.csv" "$work/log.txt"
    # timeout puts itself and simrun in a process group of their own.
    (cd "$work" && exec timeout --preserve-status -s INT 600 "$simrun" --no-progress -q model.json 2>err.txt) &
    supervisor=$!
    # The run loop: a header and a row in the CSV file (up to a minute).
    waited=0
    while [ "$(wc -l <"$work/rows.csv" 2>/dev/null || echo 0)" -lt 2 ] && [ "$waited" -lt 600 ]; do
        sleep 0.1; waited=$((waited + 1))
    done
    sleep "$seconds"
    kill -ALRM "$supervisor"
    wait "$supervisor"
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
