#!/usr/bin/env bash
# Installs what is needed, builds every target with AddressSanitizer and UndefinedBehavior-
# Sanitizer (clang, warnings as errors, fuzz targets included) and runs the whole suite.
# Before that: the layering and formatting checks, the threaded code under ThreadSanitizer,
# and the Debian package (built, checked by lintian, unpacked and run).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh --test
scripts/check-layers.sh
scripts/check-format.sh

# ThreadSanitizer over every test program that starts threads: the physics threads and
# counters, the physics SDK's worker pool, the fluids on it, the GPU monitor and the trace
# log. (Tests that draw through Mesa stay out: TSan cannot see into its uninstrumented
# worker threads.)
tsan_tests=(run/test_run platform/physx/test_platform_physx physics/test_physics_fluids
            physics/test_physics_sdk gpumon/test_gpumon platform/test_platform)
cmake -S . -B build/tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DPLASHWERK_WERROR=ON \
      -DPLASHWERK_BENCH=OFF -DCMAKE_C_FLAGS=-fsanitize=thread \
      -DCMAKE_CXX_FLAGS=-fsanitize=thread -DCMAKE_EXE_LINKER_FLAGS=-fsanitize=thread >/dev/null
cmake --build build/tsan --target "${tsan_tests[@]##*/}"
for t in "${tsan_tests[@]}"; do
  TSAN_OPTIONS=halt_on_error=1 "build/tsan/tests/$t" --gtest_brief=1
done

cmake -S . -B build/test -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
      -DPLASHWERK_SANITIZE=ON -DPLASHWERK_WERROR=ON -DPLASHWERK_FUZZ=ON >/dev/null
cmake --build build/test

# The Debian package: built in Release, lintian without errors, unpacked and run.
scripts/check-package.sh

cd build/test
# A virtual X display lets the tests of real windows run too; the headless paths are tested
# by tests that take the display away from the program they start.
xvfb-run -a ctest --output-on-failure -j2 --timeout 600
