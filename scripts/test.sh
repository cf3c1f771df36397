#!/usr/bin/env bash
# Builds the whole project with the ci preset (clang, ASan and UBSan, fuzz targets) and runs
# the whole test suite: unit tests, peer interoperability tests and brief fuzz runs.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh test
export QT_QPA_PLATFORM=offscreen
export XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-$(mktemp -d)}"
chmod 700 "$XDG_RUNTIME_DIR"
cmake --preset ci >/dev/null
cmake --build --preset ci
ctest --preset ci -j2 "$@"
