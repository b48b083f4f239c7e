#!/usr/bin/env bash
# Builds everything and runs every test. Fails when any test fails.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh "$@"
build="${VEXMO_BUILD_DIR:-build}"
export QT_QPA_PLATFORM=offscreen
ctest --test-dir "$build" --output-on-failure -j"$(nproc)" --timeout 600
