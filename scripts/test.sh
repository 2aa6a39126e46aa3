#!/usr/bin/env bash
# Installs what is needed, builds every target with AddressSanitizer and UndefinedBehavior-
# Sanitizer (clang, warnings as errors, fuzz targets included) and runs the whole suite.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh --test
cmake -S . -B build/test -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
      -DPLASHWERK_SANITIZE=ON -DPLASHWERK_WERROR=ON -DPLASHWERK_FUZZ=ON >/dev/null
cmake --build build/test
cd build/test
ctest --output-on-failure -j2 --timeout 600
