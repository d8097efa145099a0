#!/bin/sh
# Builds the embedded host and folderscan for 32-bit x86 (-m32; Debian package
# g++-multilib) in a build folder of its own and runs the folderscan tests
# there. GoogleTest for 32-bit comes from the sources of the Debian package
# googletest (/usr/src/googletest), built once inside that folder.
#   folders/ci-m32.sh [build folder]
set -eu
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
build=${1:-$root/build-fs-m32}
jobs=${SIMBLOCKS_JOBS:-2}
gtest_src=/usr/src/googletest
gtest_prefix=$build/googletest-m32
# The test program asks for 64-bit offsets and times; its GoogleTest does too.
lfs="-D_FILE_OFFSET_BITS=64 -D_TIME_BITS=64"

if [ ! -f "$gtest_src/CMakeLists.txt" ]; then
    echo "ci-m32: $gtest_src not found (apt-get install googletest)" >&2
    exit 1
fi

if [ ! -f "$gtest_prefix/lib/cmake/GTest/GTestConfig.cmake" ]; then
    cmake -S "$gtest_src" -B "$build/googletest-build" -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_CXX_FLAGS="-m32 $lfs" -DCMAKE_C_FLAGS="-m32 $lfs" -DBUILD_GMOCK=OFF -DINSTALL_GTEST=ON \
        -DCMAKE_INSTALL_PREFIX="$gtest_prefix" -DCMAKE_INSTALL_LIBDIR=lib >/dev/null
    cmake --build "$build/googletest-build" -j"$jobs"
    cmake --install "$build/googletest-build" >/dev/null
fi

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_FLAGS=-m32 -DCMAKE_C_FLAGS=-m32 \
    -DSIMBLOCKS_OCTAVE=OFF -DSIMBLOCKS_BENCH=OFF -DSIMBLOCKS_SYSTEMS=OFF \
    -DGTest_DIR="$gtest_prefix/lib/cmake/GTest" -DCMAKE_PREFIX_PATH="$gtest_prefix" >/dev/null
cmake --build "$build" --target folderscan folderscan_test -j"$jobs"

# The deliverable really is a 32-bit ELF file (class byte 1).
class=$(od -An -tu1 -j4 -N1 "$build/lib/folderscan.so" | tr -d ' ')
if [ "$class" != 1 ]; then
    echo "ci-m32: $build/lib/folderscan.so is not a 32-bit library" >&2
    exit 1
fi
# Run natively when the kernel runs 32-bit programs, else under user-mode
# emulation (Debian package qemu-user).
probe=$build/m32-probe
printf 'int main(void) { return 0; }\n' > "$probe.c"
cc -m32 "$probe.c" -o "$probe"
if "$probe" 2>/dev/null; then
    runner=
elif command -v qemu-i386 >/dev/null 2>&1 && qemu-i386 "$probe"; then
    runner=qemu-i386
    echo "ci-m32: this kernel does not run 32-bit programs; running the tests under qemu-i386"
else
    echo "ci-m32: cannot run 32-bit programs here (apt-get install qemu-user)" >&2
    exit 1
fi
(cd "$build" && $runner "$build/bin/folderscan_test")
