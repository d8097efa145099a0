#!/bin/sh
# The main job: build what the model runner needs and run a year at Chicago
# O'Hare (examples/chicago_year.json, from its typical-year weather file) on
# the embedded host; it says where its CSV file and plot went. Installs only
# the main job's packages (see tools/deps.sh); tests, benchmarks and the
# Octave flavour are left out of the build when their packages are missing.
set -e
cd "$(dirname "$0")/.."
tools/deps.sh main
exec host/cli/run-example.sh "$@"
