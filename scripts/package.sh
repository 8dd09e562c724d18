#!/usr/bin/env bash
# Builds the program and its Debian package in build/package and prints the
# package's path (and nothing else) on stdout; the build talks on stderr. Extra
# arguments go to CMake's configure step. Install the package with
#   apt-get install "$PWD/$(./scripts/package.sh)"        (in a root shell)
#   sudo apt-get install "$PWD/$(./scripts/package.sh)"   (as a user with sudo rights)
set -euo pipefail
cd "$(dirname "$0")/.."
exec 3>&1 1>&2
./scripts/install-deps.sh --package
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
cmake --build build -j"$(nproc)" --target kalent-service
rm -rf build/package
(cd build && cpack -G DEB -B package)
deb=(build/package/kalent-service_*.deb)
echo "${deb[0]}" >&3
