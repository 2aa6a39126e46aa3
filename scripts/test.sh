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

# The physics threads and the counters once more under ThreadSanitizer: a small build of
# their tests only (the whole program draws through Mesa's software rasteriser, whose own
# threads ThreadSanitizer cannot follow).
cd ../..
cmake -S . -B build/tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DPLASHWERK_WERROR=ON \
      -DPLASHWERK_BENCH=OFF -DCMAKE_C_FLAGS=-fsanitize=thread \
      -DCMAKE_CXX_FLAGS=-fsanitize=thread -DCMAKE_EXE_LINKER_FLAGS=-fsanitize=thread >/dev/null
cmake --build build/tsan --target test_run
TSAN_OPTIONS=halt_on_error=1 build/tsan/tests/run/test_run
