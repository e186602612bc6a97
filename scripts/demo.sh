#!/usr/bin/env bash
# The main job: builds what is missing and runs the demonstration.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh >/dev/null
exec "${BUILD_DIR:-build}/bin/platform_tour"
