#!/usr/bin/env bash
# Builds the benchmarks (optimised, in build-bench) and runs every one of them.
# They print figures and ratios; nothing is asserted. Extra arguments go to
# CMake's configure step.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DKALENT_BUILD_BENCH=ON "$@" >/dev/null
cmake --build build-bench -j"$(nproc)"
for bench in build-bench/bench/bench_*; do
    if [ -f "$bench" ] && [ -x "$bench" ]; then
        echo "== $(basename "$bench")"
        "$bench"
    fi
done
