#!/usr/bin/env bash
# The demo of the program's main job (for now: the engine's command-line tool on a demo table).
set -euo pipefail
bin="$1"; work="$2"
echo "xbtool is not built yet (${bin}); demo directory ${work}"
