#!/usr/bin/env bash
# Builds the 64-bit Windows programs and runs every test under Wine.
# Usage: bash scripts/run-tests.sh [ctest arguments, e.g. -R Options]
# BUILD_DIR (default build/) selects the build folder; its Wine prefix lives in it.
set -euo pipefail
source "$(dirname "$0")/env.sh"
bash "$BRACKMOOR_ROOT/scripts/setup.sh"
configure_and_build
start_display
trap stop_display EXIT
ctest --test-dir "$BUILD_DIR" --output-on-failure "$@"
