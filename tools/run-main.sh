#!/bin/sh
# The main job: build what the model runner needs and run the roof example
# model on the embedded host.
set -e
cd "$(dirname "$0")/.."
tools/deps.sh
exec host/app/run-example.sh "$@"
