#!/bin/sh
# Installs the toolbox component into a scratch prefix and checks every
# deliverable from the installed toolbox folder in Octave.
#   toolbox_install_test.sh <cmake> <build dir> <toolbox dir under the prefix> <octave-cli>
set -eu
cmake=$1
build=$2
rel=$3
octave=$4
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

"$cmake" --install "$build" --prefix "$tmp/prefix" --component toolbox >/dev/null
toolbox=$tmp/prefix/$rel
if [ -d "$root/examples" ]; then
  diff -r "$root/examples" "$toolbox/examples"
fi
# `help <toolbox folder name>` (help simblocks by default) prints Contents.m.
overview="text = evalc('help $(basename "$rel")');
  assert(! isempty(strfind(text, 'heliopose')), 'help on the folder name must show Contents.m');"
cd "$tmp"
"$octave" --no-gui --norc --no-history --quiet --eval \
  "addpath('$toolbox'); addpath('$here'); check_toolbox('$toolbox', '$root'); $overview"
