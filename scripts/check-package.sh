#!/usr/bin/env bash
# Checks the Debian package as a user would get it: builds it (scripts/package.sh), runs
# lintian on it (no error allowed), unpacks it into a temporary root with dpkg-deb -x and
# runs --version, --paths and a short headless benchmark from there, with the XDG folders in
# the temporary folder and another working directory.
set -euo pipefail
cd "$(dirname "$0")/.."
deb=$(scripts/package.sh | tail -1)
echo "package: $deb"
# lintian exits non-zero on errors only (warnings are printed).
lintian --fail-on error "$deb"

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
dpkg-deb -x "$deb" "$tmp/root"
mkdir -p "$tmp/work" "$tmp/home"
run() {
  (cd "$tmp/work" && env -u DISPLAY -u WAYLAND_DISPLAY HOME="$tmp/home" \
     XDG_CONFIG_HOME="$tmp/config" XDG_STATE_HOME="$tmp/state" XDG_PICTURES_DIR="$tmp/pictures" \
     "$tmp/root/usr/bin/plashwerk" "$@")
}
run /version | grep -q "v1\."
run --paths | tee "$tmp/paths"
grep -qx "layout: installed" "$tmp/paths"
grep -qx "trace log: $tmp/state/plashwerk/Plashwerk_trace.log" "$tmp/paths"
run /nogui /run_mode=1 /max_time=2000 /log_score /disable_scene_rendering >/dev/null \
  2>"$tmp/err" || { cat "$tmp/err"; exit 1; }
test -s "$tmp/state/plashwerk/Plashwerk_Scores.csv"
test -s "$tmp/state/plashwerk/Plashwerk_trace.log"
test -z "$(ls -A "$tmp/work")"
"$tmp/root/usr/bin/plashwerk-scores" --help >/dev/null
echo "package checks passed"
