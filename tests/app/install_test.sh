#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks what a user of the installation
# gets: the files in their places, a menu entry, metainfo and manual pages that their
# checkers accept, and a short headless benchmark, started from another working directory,
# that reads and writes only in the XDG folders given to it.
#   install_test.sh BUILD_DIR
set -euo pipefail
build=$1
tmp=$(mktemp -d /tmp/plashwerk_install_XXXXXX)
trap 'rm -rf "$tmp"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$tmp/p" >/dev/null
p=$tmp/p
id=org.plashwerk.Plashwerk
for f in bin/plashwerk bin/plashwerk-scores share/plashwerk/data/smiley.jpg \
         share/plashwerk/data/cement.dds share/plashwerk/data/stones_512x512.jpg \
         share/applications/$id.desktop share/metainfo/$id.metainfo.xml \
         share/icons/hicolor/scalable/apps/$id.svg share/icons/hicolor/256x256/apps/$id.png \
         share/man/man1/plashwerk.1.gz share/man/man1/plashwerk-scores.1.gz \
         share/doc/plashwerk/README.md share/doc/plashwerk/LICENSE \
         lib/systemd/system/plashwerk-scores.service; do
  [[ -s $p/$f ]] || fail "$f is not installed"
done
# The PNG header's width and height, 256 each.
[[ $(od -An -tx1 -j16 -N8 "$p/share/icons/hicolor/256x256/apps/$id.png" | tr -d ' \n') == \
   0000010000000100 ]] || fail "the icon is not 256 x 256 px"

# The checkers the desktop and the software centres use.
desktop-file-validate "$p/share/applications/$id.desktop" || fail "desktop entry"
appstreamcli validate --no-net "$p/share/metainfo/$id.metainfo.xml" >/dev/null ||
  { appstreamcli validate --no-net "$p/share/metainfo/$id.metainfo.xml"; fail "metainfo"; }
# The manual page renders, and its options are those of --help.
page=$(MANWIDTH=100 man -l "$p/share/man/man1/plashwerk.1.gz" 2>&1)
for option in /max_time=N /results_json=PATH /disable_scene_rendering --paths; do
  grep -qF -- "$option" <<<"$page" || fail "plashwerk(1) lacks $option"
done
MANWIDTH=100 man -l "$p/share/man/man1/plashwerk-scores.1.gz" 2>&1 | grep -qF -- "--max-per-address" ||
  fail "plashwerk-scores(1) lacks --max-per-address"

# A run as a user of the installation: XDG folders in the test's folder, an options file
# there (its window width shows in the scores row; one emitter at a low rate keeps the
# warm-up short), another working directory.
mkdir -p "$tmp/work" "$tmp/home"
mkdir -p "$tmp/config/plashwerk"
printf '<?xml version="1.0"?>\n<plashwerk><startup_options width="320" height="240" %s/></plashwerk>' \
  'num_fluid_emitters="1" particles_rate="50" particles_lifetime="2"' \
  >"$tmp/config/plashwerk/startup_options.xml"
run() {
  (cd "$tmp/work" && env -u DISPLAY -u WAYLAND_DISPLAY HOME="$tmp/home" \
     XDG_CONFIG_HOME="$tmp/config" XDG_STATE_HOME="$tmp/state" XDG_PICTURES_DIR="$tmp/pictures" \
     "$@")
}
run "$p/bin/plashwerk" --paths >"$tmp/paths" || fail "--paths"
grep -qx "layout: installed" "$tmp/paths" || fail "not installed: $(cat "$tmp/paths")"
grep -qx "options read from: $tmp/config/plashwerk/startup_options.xml" "$tmp/paths" ||
  fail "options place: $(cat "$tmp/paths")"
run "$p/bin/plashwerk" /nogui /run_mode=1 /max_time=2000 /log_score /disable_scene_rendering \
  >"$tmp/out" 2>"$tmp/err" || { cat "$tmp/err"; fail "the benchmark failed"; }
state=$tmp/state/plashwerk
[[ -s $state/Plashwerk_trace.log ]] || fail "no trace log in $state"
[[ -s $state/Plashwerk_Scores.csv ]] || fail "no scores file in $state"
# Width is the 6th of 18 columns; the first may hold commas inside its quotes.
width=$(tail -1 "$state/Plashwerk_Scores.csv" | awk -F, '{ print $(NF - 12) }')
((width > 0 && width <= 320)) || fail "the options file was not read (width $width)"
[[ $(stat -c %a "$state") == 700 ]] || fail "$state is not mode 0700"
[[ -z $(ls -A "$tmp/work") ]] || fail "files in the working directory: $(ls -A "$tmp/work")"

# A state folder that cannot be made is said on standard error; the program goes on.
: >"$tmp/blocker"
(cd "$tmp/work" && env -u DISPLAY -u WAYLAND_DISPLAY HOME="$tmp/home" XDG_STATE_HOME="$tmp/blocker" \
   XDG_CONFIG_HOME="$tmp/config" "$p/bin/plashwerk" /version >/dev/null 2>"$tmp/err2") ||
  fail "/version failed without a state folder"
grep -q "cannot create the folder $tmp/blocker/plashwerk" "$tmp/err2" ||
  fail "no message for the state folder: $(cat "$tmp/err2")"
echo "install test passed"
