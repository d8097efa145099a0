#!/bin/sh
# Makes the Octave package, installs it with pkg install into a scratch
# prefix (never the user's package list), loads it and checks every
# deliverable.
#   octave_pkg_test.sh <deliverables.txt> <octave-cli>
set -eu
manifest=$1
octave=$2
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

tarball=$("$root/package/make-octave-pkg.sh" "$manifest" "$tmp")
cd "$tmp"
HOME=$tmp "$octave" --no-gui --norc --no-history --quiet --eval \
  "pkg('local_list', '$tmp/octave_packages');
   pkg('prefix', '$tmp/pkg', '$tmp/pkg');
   pkg('install', '-local', '$tarball');
   pkg('load', 'simblocks');
   addpath('$here');
   check_toolbox('$tmp/pkg', '$root');"
# The examples as they are in the source tree; pkg install adds the index
# of help texts (doc-cache) to a folder that holds functions.
if [ -d "$root/examples" ] && [ -n "$(ls -A "$root/examples")" ]; then
  diff -r -x doc-cache "$root/examples" "$tmp"/pkg/simblocks-*/examples
fi
