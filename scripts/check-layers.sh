#!/usr/bin/env bash
# Checks that includes only point down the folder stack: a file never includes a header of
# a folder above its own. Prints each offending line and fails when there is one.
set -euo pipefail
cd "$(dirname "$0")/.."

# The stack, bottom first; folders on one level do not include each other.
declare -A level=(
  [platform]=0 [settings]=1 [physics]=2 [gpumon]=2 [render]=3 [run]=4 [results]=5 [app]=6 [server]=6
)

status=0
for folder in "${!level[@]}"; do
  [[ -d $folder ]] || continue
  while IFS= read -r hit; do
    included=$(sed -E 's/.*#include "([a-z_]+)\/.*/\1/' <<<"${hit#*:*:}")
    [[ -n ${level[$included]+x} ]] || continue
    if [[ $included != "$folder" && ${level[$included]} -ge ${level[$folder]} ]]; then
      echo "layering: $hit" >&2
      status=1
    fi
  done < <(grep -rnE '^\s*#\s*include "[a-z_]+/' "$folder" --include='*.h' --include='*.cpp' --include='*.in' || true)
done
exit $status
