#!/bin/sh
# Builds everything for 64-bit Windows with the mingw-w64 cross compilers
# (preset windows, build folder build-windows) and runs the tests under Wine
# (Debian packages mingw-w64 and wine64): the embedded host as libmx.dll,
# the twenty-three deliverables as <name>.mexw64, the engine, simrun.exe and the
# GoogleTest programs.
#
# The runner's libraries for the Windows target are staged first in
# build-windows/deps: nlohmann/json (header-only) is copied from its Debian
# package; libcsv, which Debian packages for Linux only, is compiled from
# Debian's own source package, fetched with apt-get through a private source
# list (nothing of the machine's apt set-up is changed).
#   tools/ci-windows.sh
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build-windows
deps=$build/deps
jobs=${SIMBLOCKS_JOBS:-2}
cc=x86_64-w64-mingw32-gcc-posix
start=$(date +%s)

if ! command -v "$cc" >/dev/null 2>&1; then
    echo "ci-windows: $cc not found (apt-get install mingw-w64)" >&2
    exit 1
fi
# Wine's 64-bit loader lies outside the PATH.
wine=
for w in /usr/lib/wine/wine64 "$(command -v wine64 || true)" "$(command -v wine || true)"; do
    if [ -n "$w" ] && [ -x "$w" ]; then wine=$w; break; fi
done
if [ -z "$wine" ]; then
    echo "ci-windows: no Wine loader found (apt-get install wine64)" >&2
    exit 1
fi

# --- The runner's libraries for the target ------------------------------------
mkdir -p "$deps/include" "$deps/lib" "$deps/share/cmake"
if [ ! -f "$deps/include/nlohmann/json.hpp" ] && [ -d /usr/include/nlohmann ]; then
    cp -r /usr/include/nlohmann "$deps/include/"
    cp -r /usr/share/cmake/nlohmann_json "$deps/share/cmake/"
fi
if [ ! -f "$deps/lib/libcsv.a" ]; then
    src=$deps/src
    mkdir -p "$src/lists/partial" "$src/parts"
    # The machine's own package sources, as source-package sources.
    : > "$src/sources.list"
    if [ -f /etc/apt/sources.list ]; then
        sed -n 's/^deb \(.*\)/deb-src \1/p' /etc/apt/sources.list > "$src/sources.list"
    fi
    for f in /etc/apt/sources.list.d/*.sources; do
        [ -f "$f" ] && sed 's/^Types:.*/Types: deb-src/' "$f" > "$src/parts/$(basename "$f")"
    done
    for f in /etc/apt/sources.list.d/*.list; do
        [ -f "$f" ] && sed -n 's/^deb \(.*\)/deb-src \1/p' "$f" > "$src/parts/$(basename "$f")"
    done
    aptopts="-o Dir::Etc::SourceList=$src/sources.list -o Dir::Etc::SourceParts=$src/parts
             -o Dir::State::Lists=$src/lists -o APT::Sandbox::User=root"
    if apt-get $aptopts update >"$src/apt.log" 2>&1 &&
       (cd "$src" && apt-get $aptopts source --download-only libcsv >>"$src/apt.log" 2>&1); then
        tar -xzf "$src"/libcsv_*.orig.tar.gz -C "$src"
        csvdir=$(ls -d "$src"/libcsv-*/ | head -n 1)
        "$cc" -O2 -std=c99 -c "$csvdir/libcsv.c" -I"$csvdir" -o "$src/libcsv.o"
        x86_64-w64-mingw32-ar rcs "$deps/lib/libcsv.a" "$src/libcsv.o"
        cp "$csvdir/csv.h" "$deps/include/"
    else
        echo "ci-windows: could not fetch libcsv's sources (see $src/apt.log); simrun.exe is not built" >&2
    fi
fi

# --- Build -----------------------------------------------------------------------
cd "$root"
cmake --preset windows >/dev/null
cmake --build --preset windows -j "$jobs"

# --- Tests under Wine --------------------------------------------------------------
# A throwaway Wine prefix inside the build folder; the first start sets it up.
# No display and no standard input are needed.
export WINEPREFIX="$build/wineprefix" WINEDEBUG=-all
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    "$wine" wineboot --init </dev/null >"$build/wineboot.log" 2>&1 || true
fi
# Each GoogleTest program also writes its results as XML, for the count of cases.
results=$build/test-results
rm -rf "$results"
mkdir -p "$results"
set +e
# Wine shows this file system as drive Z:, in Windows path form.
GTEST_OUTPUT="xml:Z:$(printf '%s' "$results" | tr / '\\')\\" ctest --preset windows -j "$jobs" </dev/null >"$build/ctest.log" 2>&1
status=$?
set -e
cat "$build/ctest.log"
# Stop this prefix's Wine server, so nothing of the step keeps running.
"$(dirname "$wine")/wineserver" -k 2>/dev/null || wineserver -k 2>/dev/null || true
cases=$(cat "$results"/*.xml 2>/dev/null | grep -c '<testcase ' || true)
skipped=$(cat "$results"/*.xml 2>/dev/null | grep '<testcase ' | grep -c 'result="skipped"' || true)
echo "ci-windows: $(grep -E 'tests passed' "$build/ctest.log" || echo 'no test ran');" \
     "$cases test cases ($skipped skipped); $(($(date +%s) - start)) s in all"
exit $status
