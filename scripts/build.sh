#!/usr/bin/env bash
# Configures and builds into ./build (or $BUILD_DIR). Warnings are errors in CI.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build}
werror=OFF
[ "${CI:-}" = "true" ] && werror=ON
cmake -S . -B "$build" -G Ninja -DZTN_WERROR=$werror "$@" >/dev/null
ninja -C "$build"
