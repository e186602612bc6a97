#!/usr/bin/env bash
# One command for everything: installs what is missing, builds, runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh
ctest --test-dir "${BUILD_DIR:-build}" --output-on-failure -j2 "$@"
