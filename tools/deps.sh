#!/bin/sh
# Installs the Debian packages a job needs, when any is missing. Runs apt-get
# as root, or through sudo.
#
#   tools/deps.sh main    the main job (tools/run-main.sh): build the model
#                         runner and the blocks, run a model, plot it
#   tools/deps.sh test    everything tools/test-all.sh needs: the main job's
#                         packages and all of the lists below
#   tools/deps.sh --list main|test    prints the packages instead
#
# One list per purpose: a package goes into the list of what needs it.
set -e

# Compiler, build tools, the runner's libraries (model files, CSV sources),
# the engine's ODE solver (SUNDIALS CVODE) and expression parser (muparser)
# and gnuplot for its plots.
MAIN="g++ make cmake nlohmann-json3-dev libcsv-dev libsundials-dev libmuparser-dev gnuplot-nox"
# GoogleTest and Google Benchmark; the clock blocks' tests run under faketime
# with fixed time zones; SciPy integrates the room model's reference solution.
TESTS="libgtest-dev libbenchmark-dev faketime tzdata python3-scipy"
# The Octave flavour of every deliverable, its tests and the packaging tests.
OCTAVE="octave liboctave-dev"
# folderscan's 32-bit build (run under qemu-i386 where the kernel cannot run
# 32-bit programs); the Windows build of everything (mingw-w64) and its tests
# under Wine.
PLATFORMS="g++-multilib qemu-user mingw-w64 wine64"
# Engines that spread runs over processes and machines, for their tests:
# GNU parallel, a private single-node Slurm (with munge), Octave's
# parcellfun.
CLUSTER="parallel slurm-wlm munge octave-parallel"
# The bounded fuzzing run (libFuzzer).
FUZZING="clang libclang-rt-14-dev"

packages_for() {
  case "$1" in
    main) echo "$MAIN" ;;
    test) echo "$MAIN $TESTS $OCTAVE $CLUSTER $PLATFORMS $FUZZING" ;;
    *) echo "usage: $0 [--list] main|test" >&2; exit 2 ;;
  esac
}

if [ "$1" = "--list" ]; then
  packages_for "$2"
  exit 0
fi
[ $# -eq 1 ] || packages_for ""
PACKAGES=$(packages_for "$1")

missing=""
for p in $PACKAGES; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing="$missing $p"
done
[ -z "$missing" ] && exit 0
echo "Installing:$missing"
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO=sudo
$SUDO apt-get update
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends $missing
