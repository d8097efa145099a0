#!/bin/sh
# Installs the Debian packages the build, the tests and the examples need,
# when any is missing. Runs apt-get as root, or through sudo.
set -e
PACKAGES="cmake g++ make libgtest-dev libbenchmark-dev nlohmann-json3-dev
  octave liboctave-dev faketime tzdata gnuplot-nox g++-multilib mingw-w64
  clang libclang-rt-14-dev qemu-user libcsv-dev
  wine64"
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
