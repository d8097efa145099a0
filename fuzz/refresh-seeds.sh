#!/bin/sh
# Replaces the committed seed corpus of each target (tests/fuzz-corpus/<t>/)
# with a small set picked from a campaign's corpus (<build>/corpus/<t>/): at
# most FUZZ_SEEDS inputs (default 40), chosen greedily for the coverage
# features they add, as libFuzzer's merge reports them.
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
  tmp=$(mktemp -d)
  ASAN_OPTIONS=detect_leaks=0 "$BUILD/fuzz_$t" -merge=1 -merge_control_file="$tmp/control" \
    "$tmp" "$src" "$ROOT/tests/fuzz-corpus/$t" > "$tmp/log" 2>&1 || { tail "$tmp/log"; exit 1; }
  dest=$ROOT/tests/fuzz-corpus/$t
  rm -rf "$dest"
  mkdir -p "$dest"
  python3 - "$tmp/control" "$dest" "$MAX" <<'EOF'
import hashlib, shutil, sys
control, dest, cap = sys.argv[1], sys.argv[2], int(sys.argv[3])
lines = open(control, encoding="utf-8", errors="replace").read().splitlines()
n = int(lines[0])
files = lines[2:2 + n]
features = {}
for line in lines[2 + n:]:
    parts = line.split()
    if parts and parts[0] == "FT":
        features[int(parts[1])] = set(parts[2:])
seen, picked = set(), []
while len(picked) < cap:
    best = max(features, key=lambda i: len(features[i] - seen), default=None)
    if best is None or not features[best] - seen:
        break
    seen |= features.pop(best)
    picked.append(files[best])
for path in picked:
    data = open(path, "rb").read()
    with open(f"{dest}/{hashlib.sha1(data).hexdigest()}", "wb") as out:
        out.write(data)
print(f"{dest.rsplit('/', 1)[1]}: {len(picked)} seeds, {len(seen)} features")
EOF
  rm -rf "$tmp"
done
