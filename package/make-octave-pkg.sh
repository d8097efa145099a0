#!/bin/sh
# Makes the Octave package of the toolbox: a tarball that `pkg install`
# accepts and that builds the MEX files with mkoctfile on the user's machine.
#
#   package/make-octave-pkg.sh <deliverables.txt> <outdir>
#
# <deliverables.txt> has one line per deliverable,
#   name|compile definitions|sources relative to the source tree|flags
# (definitions, sources and flags separated by blanks; the flags, which may
# be left out, are include folders relative to the source tree, -Idir, and
# libraries, -lname: simrun and simblock need the system's SUNDIALS CVODE
# and muparser, simrun also libcsv and nlohmann-json)
# as the CMake build writes it (build/package/deliverables.txt; the target
# octave_package runs this script). The tarball simblocks-<version>.tar.gz,
# the version taken from package/octave/DESCRIPTION, is written to <outdir>
# and its path printed.
#
# Package layout:
#   DESCRIPTION COPYING INDEX
#   inst/            help files, Contents.m, examples/
#   src/Makefile     one rule per deliverable, run by pkg install
#   src/include/     simstruc.h and host_flavour.h alone (mex.h is Octave's own)
#   src/<folder>/    the deliverable sources and the shared modules
#
# Octave takes the help of a MEX file from the .m file of the same name in
# the same folder. pkg install would put MEX files built in src/ into an
# architecture folder of their own, away from the help files, so the
# Makefile builds them into inst/ instead: pkg then installs each MEX file
# and its help file side by side in the package folder.
set -eu

if [ $# -ne 2 ]; then
  echo "usage: $0 <deliverables.txt> <outdir>" >&2
  exit 2
fi
manifest=$1
outdir=$2
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")

version=$(sed -n 's/^Version:[[:space:]]*//p' "$here/octave/DESCRIPTION")
[ -n "$version" ] || { echo "$0: no Version in $here/octave/DESCRIPTION" >&2; exit 1; }
[ -s "$manifest" ] || { echo "$0: $manifest lists no deliverable" >&2; exit 1; }
name=simblocks-$version

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
pkg=$stage/$name
mkdir -p "$pkg/inst" "$pkg/src/include"

cp "$here/octave/DESCRIPTION" "$here/octave/COPYING" "$here/octave/INDEX" "$pkg/"
cp "$here"/help/*.m "$pkg/inst/"
if [ -d "$root/examples" ] && [ -n "$(ls -A "$root/examples")" ]; then
  cp -R "$root/examples" "$pkg/inst/examples"
fi
cp "$root/host/include/simstruc.h" "$root/host/include/host_flavour.h" "$pkg/src/include/"
cp "$root/cmake/exports.map" "$pkg/src/"

# Sources named by the manifest, and every header of their folders (the
# sources include the shared modules by root-relative path).
folders=""
while IFS="|" read -r deliverable defs sources flags; do
  for src in $sources; do
    dir=$(dirname "$src")
    mkdir -p "$pkg/src/$dir"
    cp "$root/$src" "$pkg/src/$src"
    case " $folders " in *" $dir "*) ;; *) folders="$folders $dir" ;; esac
  done
done < "$manifest"
headers="include/simstruc.h include/host_flavour.h"
for dir in $folders; do
  for h in "$root/$dir"/*.h; do
    [ -e "$h" ] || continue
    cp "$h" "$pkg/src/$dir/"
    headers="$headers $dir/$(basename "$h")"
  done
done

# The Makefile. Each MEX file is compiled in its own object folder, because
# mkoctfile names objects after their sources and the blocks share frame.cpp.
mex_files=$(cut -d'|' -f1 "$manifest" | sed 's|^\(.*\)$|../inst/\1.mex|' | tr '\n' ' ')
{
  cat <<EOF
# Builds the toolbox's MEX files with mkoctfile; pkg install runs it. The
# MEX files go to ../inst, beside their help files (Octave reads the help of
# a MEX file from the .m file next to it).
MKOCTFILE ?= mkoctfile

# Bit-exact arithmetic: no contraction into fused multiply-add, no fast-math.
SB_CXXFLAGS := \$(shell \$(MKOCTFILE) -p CXXFLAGS) -std=c++17 -ffp-contract=off -fno-fast-math

# Each library exports mexFunction alone, so that the libraries loaded into
# one session never bind to one another's functions.
SB_SYSTEM := \$(shell uname -s)
ifeq (\$(SB_SYSTEM),Linux)
SB_EXPORTS := -Wl,--version-script=../../exports.map
else ifeq (\$(SB_SYSTEM),Darwin)
SB_EXPORTS := -Wl,-exported_symbol,_mexFunction
else
SB_EXPORTS :=
endif

HEADERS := $headers
MEX := $mex_files

all: \$(MEX)

clean:
	rm -rf obj \$(MEX)

.PHONY: all clean
EOF
  while IFS="|" read -r deliverable defs sources flags; do
    dflags=""
    for d in $defs; do dflags="$dflags -D$d"; done
    libs=""
    for f in $flags; do
      case "$f" in
        -I*) dflags="$dflags -I../../${f#-I}" ;;
        *) libs="$libs $f" ;;
      esac
    done
    up=""
    for src in $sources; do up="$up ../../$src"; done
    printf '\n../inst/%s.mex: %s $(HEADERS)\n' "$deliverable" "$sources"
    printf '\t@mkdir -p obj/%s\n' "$deliverable"
    printf '\tcd obj/%s && CXXFLAGS="$(SB_CXXFLAGS)" $(MKOCTFILE) --mex -o ../../$@ -I../../include -I../..%s $(SB_EXPORTS)%s%s\n' \
      "$deliverable" "$dflags" "$up" "$libs"
  done < "$manifest"
} > "$pkg/src/Makefile"

mkdir -p "$outdir"
tarball=$(cd "$outdir" && pwd)/$name.tar.gz
(cd "$stage" && tar -czf "$tarball" "$name")
echo "$tarball"
