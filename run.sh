#!/usr/bin/env bash
# Sets up, builds and runs the application against a local devserver. Without a --location of
# the user's, the engineer's position is the sample track shipped in resources/, so that an
# order's departure finds where he is.
set -euo pipefail
cd "$(dirname "$0")"
scripts/setup
cmake --preset default >/dev/null
cmake --build --preset default --target brisfold
location=(--location "$PWD/resources/sample-track.txt")
for arg in "$@"; do
    if [ "$arg" = --location ]; then location=(); fi
done
exec build/app/brisfold "${location[@]}" "$@"
