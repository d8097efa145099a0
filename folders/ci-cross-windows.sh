#!/bin/sh
# Compiles folderscan for Windows (64-bit and 32-bit) with the mingw-w64 cross
# compilers (Debian package mingw-w64), warnings as errors, and links each
# object into a DLL against a stub of the MEX functions it calls, so that
# every Windows call it makes must resolve. Nothing is run.
#   folders/ci-cross-windows.sh [output folder]
set -eu
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
out=${1:-$root/build-fs-win}
mkdir -p "$out"

cat > "$out/mex_stub.c" <<'STUB'
#include "mex.h"
void *mxRealloc(void *p, size_t n) { (void)p; (void)n; return 0; }
void mxFree(void *p) { (void)p; }
void mexErrMsgTxt(const char *msg) { (void)msg; for (;;) {} }
void mexErrMsgIdAndTxt(const char *id, const char *fmt, ...) { (void)id; (void)fmt; for (;;) {} }
int mexPrintf(const char *fmt, ...) { (void)fmt; return 0; }
double mxGetNaN(void) { return 0; }
bool mxIsChar(const mxArray *a) { (void)a; return 0; }
bool mxIsCell(const mxArray *a) { (void)a; return 0; }
char *mxArrayToString(const mxArray *a) { (void)a; return 0; }
size_t mxGetNumberOfElements(const mxArray *a) { (void)a; return 0; }
mxArray *mxGetCell(const mxArray *a, mwIndex i) { (void)a; (void)i; return 0; }
mxArray *mxCreateStructMatrix(mwSize m, mwSize n, int k, const char **f) { (void)m; (void)n; (void)k; (void)f; return 0; }
void mxSetFieldByNumber(mxArray *a, mwIndex i, int k, mxArray *v) { (void)a; (void)i; (void)k; (void)v; }
mxArray *mxCreateString(const char *s) { (void)s; return 0; }
mxArray *mxCreateDoubleScalar(double v) { (void)v; return 0; }
mxArray *mxCreateLogicalScalar(mxLogical v) { (void)v; return 0; }
STUB

for arch in x86_64 i686; do
    cxx=$arch-w64-mingw32-g++
    cc=$arch-w64-mingw32-gcc
    if ! command -v "$cxx" >/dev/null 2>&1; then
        echo "ci-cross-windows: $cxx not found (apt-get install mingw-w64)" >&2
        exit 1
    fi
    "$cxx" -std=c++17 -O2 -Wall -Wextra -Werror -ffp-contract=off \
        -I"$root/host/include" -I"$root" -c "$root/folders/folderscan.cpp" -o "$out/folderscan-$arch.obj"
    "$cc" -std=c11 -Wall -Wextra -Werror -I"$root/host/include" -c "$out/mex_stub.c" -o "$out/mex_stub-$arch.obj"
    "$cxx" -shared -static-libgcc -static-libstdc++ -o "$out/folderscan-$arch.mexw" \
        "$out/folderscan-$arch.obj" "$out/mex_stub-$arch.obj"
    echo "ci-cross-windows: folderscan for $arch Windows compiled and linked"
done
