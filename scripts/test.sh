#!/usr/bin/env bash
# Sets up and builds (scripts/setup.sh), then runs the whole test suite.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
build="${TAVOX_BUILD_DIR:-build}"
ctest --test-dir "$build" --output-on-failure -j2 --timeout 600
