#!/usr/bin/env bash
# Builds the program and opens its window; arguments go to kalent-service
# (e.g. --port sim for the built-in instrument). It installs only what building
# and running need; scripts/test.sh adds the test tools.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target kalent-service
exec ./build/src/app/kalent-service "$@"
