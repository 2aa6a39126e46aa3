#!/usr/bin/env bash
# Checks that includes only point down the folder stack: a file never includes a header of
# a folder above its own. Also that the settings record stays in the shell: no folder below
# app/ names StartupOptions, and app/ keeps no file-scope variables (the shell's state lives
# in its Application object) but the one a signal handler must reach, marked "signal
# handler" on its line. Prints each offending line and fails when there is one.
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
# The settings record below the shell: each subsystem gets a narrow record of its own.
for folder in physics gpumon render run results; do
  [[ -d $folder ]] || continue
  while IFS= read -r hit; do
    echo "settings record below app/: $hit" >&2
    status=1
  done < <(grep -rnw 'StartupOptions' "$folder" --include='*.h' --include='*.cpp' || true)
done

# File-scope variables in app/: a definition that starts its line, outside any class or
# function (those are indented), that is not a constant, a type, a function or a using.
if [[ -d app ]]; then
  while IFS= read -r hit; do
    line=${hit#*:*:}
    [[ $line == *"signal handler"* ]] && continue
    echo "file-scope variable in app/: $hit" >&2
    status=1
  done < <(grep -rnE '^(static |inline |extern |thread_local )*[A-Za-z_][A-Za-z0-9_:<>,*& ]*[ *&]+[A-Za-z_][A-Za-z0-9_]*(\[[^]]*\])*( *=[^;(]*| *\{[^;]*\}| *\([^;]*\))? *;' \
             app --include='*.h' --include='*.cpp' |
           grep -vE ':[0-9]+:(constexpr|const |inline constexpr|inline const |static constexpr|static const |using |typedef |return |class |struct |enum |friend |template|namespace|[A-Za-z_:<>]+ [A-Za-z_:]+\([^)]*\)( const)?( override)?;)' || true)
fi
exit $status
