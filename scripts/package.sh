#!/usr/bin/env bash
# Builds the Release program and the Debian package build/release/plashwerk_<version>_amd64.deb
# (CPack; its dependencies from dpkg-shlibdeps). Install it with
#   sudo apt install ./build/release/plashwerk_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DPLASHWERK_TESTS=OFF \
      -DPLASHWERK_BENCH=OFF >/dev/null
cmake --build build/release --target plashwerk plashwerk-scores desktop_files
(cd build/release && cpack -G DEB >/dev/null)
ls build/release/plashwerk_*_amd64.deb
