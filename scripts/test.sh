#!/usr/bin/env bash
# Installs what is needed, builds every target with AddressSanitizer and UndefinedBehavior-
# Sanitizer (clang, warnings as errors, fuzz targets included) and runs the whole suite.
# The threaded run code is first checked once more under ThreadSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh --test
scripts/check-layers.sh

# ThreadSanitizer: the physics threads and counters (tests that do not load Mesa, whose
# uninstrumented worker threads TSan cannot see through).
cmake -S . -B build/tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DPLASHWERK_WERROR=ON \
      -DPLASHWERK_BENCH=OFF -DCMAKE_C_FLAGS=-fsanitize=thread \
      -DCMAKE_CXX_FLAGS=-fsanitize=thread -DCMAKE_EXE_LINKER_FLAGS=-fsanitize=thread >/dev/null
cmake --build build/tsan --target test_run
TSAN_OPTIONS=halt_on_error=1 build/tsan/tests/run/test_run --gtest_brief=1

cmake -S . -B build/test -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
      -DPLASHWERK_SANITIZE=ON -DPLASHWERK_WERROR=ON -DPLASHWERK_FUZZ=ON >/dev/null
cmake --build build/test
cd build/test
# A virtual X display lets the tests of real windows run too; the headless paths are tested
# by tests that take the display away from the program they start.
xvfb-run -a ctest --output-on-failure -j2 --timeout 600
