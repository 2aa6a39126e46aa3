#!/usr/bin/env bash
# Installs what is needed, builds the Release program (and the score server beside it)
# and runs a benchmark. Without a display the benchmark runs headless (/nogui, offscreen
# rendering).
# Extra arguments go to the program, e.g. scripts/run.sh /max_time=20000
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DPLASHWERK_TESTS=OFF \
      -DPLASHWERK_BENCH=OFF >/dev/null
cmake --build build/release --target plashwerk plashwerk-scores
[[ -n "${DISPLAY:-}" ]] || echo "No display found: the benchmark runs headless."
exec build/release/app/plashwerk /nogui /run_mode=1 "$@"
