#!/usr/bin/env bash
# Sets up, builds and runs every test.
set -euo pipefail
cd "$(dirname "$0")"
scripts/setup
preset=${BRISFOLD_PRESET:-default}
cmake --preset "$preset"
cmake --build --preset "$preset"
ctest --preset "$preset"
