#!/bin/sh
# Builds everything and runs every test: the default build (embedded host and
# Octave flavours), then the same tests under AddressSanitizer and
# UndefinedBehaviorSanitizer, then the extra platform checks.
set -e
cd "$(dirname "$0")/.."
JOBS="${JOBS:-$(nproc)}"
tools/deps.sh test

# The tests CTest reported skipped (a program or platform feature missing
# here), one line each with the reasons the test printed ("SKIP: ..." from
# a script, GTEST_SKIP's message from a GoogleTest case), taken from
# CTest's JUnit report. A skip does not fail the run.
skips() {
  awk -v build="$2" '
    function add(r) { if (r != "" && !(r in seen)) { seen[r] = 1; why = why (why == "" ? "" : "; ") r } }
    /<testcase / {
      name = $0; sub(/.*<testcase name="/, "", name); sub(/".*/, "", name)
      skipping = /status="notrun"/; why = ""; reason = 0; split("", seen)
    }
    skipping {
      line = $0; sub(/^[ \t]*<system-out>/, "", line)
      gsub(/&quot;/, "\"", line); gsub(/&apos;/, "\047", line); gsub(/&lt;/, "<", line); gsub(/&gt;/, ">", line); gsub(/&amp;/, "\\&", line)
      if (reason) { add(line); reason = 0 }
      if (line ~ /: Skipped$/) reason = 1
      if (line ~ /^SKIP: /) { sub(/^SKIP: /, "", line); add(line) }
    }
    skipping && /<\/testcase>/ { printf "  skipped (%s) %s: %s\n", build, name, why == "" ? "(no reason printed)" : why; skipping = 0 }
  ' "$1"
}

cmake --preset default
cmake --build --preset default -j "$JOBS"
ctest --preset default -j "$JOBS" --output-junit ctest-junit.xml
skipped_default=$(skips build/ctest-junit.xml default)

cmake --preset sanitize
cmake --build --preset sanitize -j "$JOBS"
ctest --preset sanitize -j "$JOBS" --output-junit ctest-junit.xml
skipped_sanitize=$(skips build-sanitize/ctest-junit.xml sanitize)

# Platform checks (32-bit build, Windows cross compile, the Windows build with
# its tests under Wine) and a bounded fuzzing run.
for check in folders/ci-*.sh tools/ci-windows.sh fuzz/ci-fuzz.sh; do
  [ -x "$check" ] || continue
  echo "== $check"
  "$check"
done
echo "All tests passed."
skipped=$(printf '%s\n%s\n' "$skipped_default" "$skipped_sanitize" | grep -c '^  skipped' || true)
echo "Skipped tests: $skipped (default build $(printf '%s\n' "$skipped_default" | grep -c '^  skipped' || true), sanitize build $(printf '%s\n' "$skipped_sanitize" | grep -c '^  skipped' || true))"
[ -z "$skipped_default" ] || printf '%s\n' "$skipped_default"
[ -z "$skipped_sanitize" ] || printf '%s\n' "$skipped_sanitize"
