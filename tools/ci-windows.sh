#!/bin/sh
# Builds everything for 64-bit Windows with the mingw-w64 cross compilers
# (preset windows, build folder build-windows) and runs the tests under Wine
# (Debian packages mingw-w64 and wine64): the embedded host as libmx.dll,
# the twenty-three deliverables as <name>.mexw64, the engine, simrun.exe and the
# GoogleTest programs.
#
# The runner's and the engine's libraries for the Windows target are staged
# first in build-windows/deps: nlohmann/json (header-only) is copied from its
# Debian package; libcsv, muparser and SUNDIALS' CVODE, which Debian packages
# for Linux only, are compiled as static libraries from Debian's own source
# packages, fetched with apt-get through a private source list (nothing of
# the machine's apt set-up is changed).
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

# --- The runner's and the engine's libraries for the target -----------------
# Each is staged once and kept in build-windows/deps (a second run skips it).
mkdir -p "$deps/include" "$deps/lib" "$deps/share/cmake"
if [ ! -f "$deps/include/nlohmann/json.hpp" ] && [ -d /usr/include/nlohmann ]; then
    cp -r /usr/include/nlohmann "$deps/include/"
    cp -r /usr/share/cmake/nlohmann_json "$deps/share/cmake/"
fi
src=$deps/src
aptready=
# fetch_source <package>: downloads Debian's source package <package> into
# $src with apt-get, through a private copy of the machine's package sources
# as source-package sources (nothing of the machine's apt set-up changes).
fetch_source() {
    mkdir -p "$src/lists/partial" "$src/parts"
    aptopts="-o Dir::Etc::SourceList=$src/sources.list -o Dir::Etc::SourceParts=$src/parts
             -o Dir::State::Lists=$src/lists -o APT::Sandbox::User=root"
    if [ -z "$aptready" ]; then
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
        apt-get $aptopts update >"$src/apt.log" 2>&1 || return 1
        aptready=yes
    fi
    (cd "$src" && apt-get $aptopts source --download-only "$1" >>"$src/apt.log" 2>&1)
}
# unpack <package>: the upstream sources of a fetched package; prints the folder.
unpack() {
    rm -rf "$src/$1-unpacked" && mkdir -p "$src/$1-unpacked"
    tar -xf "$(ls "$src/$1"_*.orig.tar.* | head -n 1)" -C "$src/$1-unpacked"
    ls -d "$src/$1-unpacked"/*/ | head -n 1
}

# libcsv (CSV sources): one C file.
if [ ! -f "$deps/lib/libcsv.a" ]; then
    if fetch_source libcsv; then
        csvdir=$(unpack libcsv)
        "$cc" -O2 -std=c99 -c "$csvdir/libcsv.c" -I"$csvdir" -o "$src/libcsv.o"
        x86_64-w64-mingw32-ar rcs "$deps/lib/libcsv.a" "$src/libcsv.o"
        cp "$csvdir/csv.h" "$deps/include/"
    else
        echo "ci-windows: could not fetch libcsv's sources (see $src/apt.log); simrun.exe is not built" >&2
    fi
fi

# muparser (the expression block): its few C++ sources as a static library.
# MUPARSER_STATIC (set for every target by cmake/mingw-w64-x86_64.cmake)
# keeps its headers from declaring the functions as imported from a DLL.
if [ ! -f "$deps/lib/libmuparser.a" ]; then
    if fetch_source muparser; then
        mpdir=$(unpack muparser)
        mkdir -p "$src/muparser-obj"
        for f in "$mpdir"/src/*.cpp; do
            printf '%s\n' "$f"
        done | xargs -P "$jobs" -I{} sh -c \
            'x86_64-w64-mingw32-g++-posix -O2 -std=c++17 -DMUPARSER_STATIC -D_USE_MATH_DEFINES -I"$1/include" -c "$2" -o "$3/$(basename "$2" .cpp).o"' \
            sh "$mpdir" {} "$src/muparser-obj"
        rm -f "$deps/lib/libmuparser.a"
        x86_64-w64-mingw32-ar rcs "$deps/lib/libmuparser.a" "$src"/muparser-obj/*.o
        cp "$mpdir"/include/*.h "$deps/include/"
    else
        echo "ci-windows: could not fetch muparser's sources (see $src/apt.log)" >&2
    fi
fi

# SUNDIALS (the engine's ODE solver): CVODE alone, static, configured by
# SUNDIALS' own CMake for this target (it writes sundials_config.h); only
# the libraries the engine links are built: CVODE (which carries the
# generic parts, the serial vector, the dense and band matrices and linear
# solvers and the Newton iteration), and the serial vector, dense matrix
# and dense linear solver as libraries of their own.
if [ ! -f "$deps/lib/libsundials_cvode.a" ]; then
    if fetch_source sundials; then
        sudir=$(unpack sundials)
        subuild=$src/sundials-build
        rm -rf "$subuild"
        if ! { cmake -S "$sudir" -B "$subuild" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
                 -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=OFF -DBUILD_STATIC_LIBS=ON \
                 -DBUILD_ARKODE=OFF -DBUILD_CVODE=ON -DBUILD_CVODES=OFF -DBUILD_IDA=OFF -DBUILD_IDAS=OFF \
                 -DBUILD_KINSOL=OFF -DBUILD_FORTRAN_MODULE_INTERFACE=OFF -DEXAMPLES_ENABLE_C=OFF \
                 -DEXAMPLES_ENABLE_CXX=OFF -DEXAMPLES_INSTALL=OFF -DBUILD_TESTING=OFF \
                 >"$src/sundials.log" 2>&1 &&
               cmake --build "$subuild" -j "$jobs" --target sundials_cvode_static sundials_nvecserial_static \
                 sundials_sunmatrixdense_static sundials_sunlinsoldense_static >>"$src/sundials.log" 2>&1; }; then
            echo "ci-windows: SUNDIALS did not build for the target (see $src/sundials.log)" >&2
            exit 1
        fi
        for lib in cvode nvecserial sunmatrixdense sunlinsoldense; do
            cp "$(find "$subuild" -name "libsundials_$lib.a" | head -n 1)" "$deps/lib/"
        done
        for d in sundials cvode nvector sunmatrix sunlinsol sunnonlinsol sunmemory; do
            cp -r "$sudir/include/$d" "$deps/include/"
        done
        cp "$subuild"/include/sundials/*.h "$deps/include/sundials/"
    else
        echo "ci-windows: could not fetch SUNDIALS' sources (see $src/apt.log)" >&2
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
