#!/bin/sh
# Builds everything and runs every test: the default build (embedded host and
# Octave flavours), then the same tests under AddressSanitizer and
# UndefinedBehaviorSanitizer, then the extra platform checks.
set -e
cd "$(dirname "$0")/.."
JOBS="${JOBS:-$(nproc)}"
tools/deps.sh test

cmake --preset default
cmake --build --preset default -j "$JOBS"
ctest --preset default -j "$JOBS"

cmake --preset sanitize
cmake --build --preset sanitize -j "$JOBS"
ctest --preset sanitize -j "$JOBS"

# Platform checks (32-bit build, Windows cross compile, the Windows build with
# its tests under Wine) and a bounded fuzzing run.
for check in folders/ci-*.sh tools/ci-windows.sh fuzz/ci-fuzz.sh; do
  [ -x "$check" ] || continue
  echo "== $check"
  "$check"
done
echo "All tests passed."
