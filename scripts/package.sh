#!/usr/bin/env bash
# Builds the program and its Debian package in build/package and prints the
# package's path. Extra arguments go to CMake's configure step. Install it with
#   sudo apt-get install ./build/package/kalent-service_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh --package
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
cmake --build build -j"$(nproc)" --target kalent-service
rm -rf build/package
(cd build && cpack -G DEB -B package >&2)
ls build/package/kalent-service_*.deb
