#!/usr/bin/env bash
# Builds the benchmarks (optimised) and runs every one of them. They print
# ratios; nothing is asserted about timings.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DKALENT_BUILD_BENCH=ON -DKALENT_BUILD_UI=OFF >/dev/null
cmake --build build-bench -j"$(nproc)"
for bench in build-bench/bench/bench_*; do
    [ -x "$bench" ] || continue
    echo "== $(basename "$bench")"
    "$bench"
done
