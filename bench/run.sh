#!/usr/bin/env bash
# Builds the release preset and runs the engine benchmarks; prints seconds and peak memory per
# step. Usage: bench/run.sh [N...]   (default: 100000 1000000)
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset release >/dev/null
cmake --build --preset release -j2 --target bench_engine_bench bench_delimited_inside bench_index_bench
echo "machine: $(nproc) cores, $(uname -sr); $(date -u '+%Y-%m-%d %H:%M UTC')"
build/release/bin/bench_engine_bench "$@"
echo
build/release/bin/bench_delimited_inside
# The index benchmarks (issue 3).
echo
build/release/bin/bench_index_bench "$@"
