#!/usr/bin/env bash
# Sets up, builds and runs the application against a local devserver.
set -euo pipefail
cd "$(dirname "$0")"
scripts/setup
cmake --preset default >/dev/null
cmake --build --preset default --target brisfold
exec build/app/brisfold "$@"
