#!/usr/bin/env bash
# Configures and builds Vexmo into build/ (or $VEXMO_BUILD_DIR). Extra arguments go to cmake's
# configure step, e.g. -DVEXMO_TSAN=ON.
set -euo pipefail
cd "$(dirname "$0")/.."
"$(dirname "$0")/install-deps.sh"
build="${VEXMO_BUILD_DIR:-build}"
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
cmake -S . -B "$build" -G Ninja "${launcher[@]}" "$@" >/dev/null
cmake --build "$build" -j"$(nproc)"
