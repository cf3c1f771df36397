#!/usr/bin/env bash
# Builds the release preset and runs the program's main job on a demo working directory.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh build
cmake --preset release >/dev/null
cmake --build --preset release
work="${XB_DEMO_DIR:-$PWD/work-demo}"
mkdir -p "$work"
exec bash scripts/demo.sh build/release/bin "$work"
