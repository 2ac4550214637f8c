#!/usr/bin/env bash
# The program as users start it, on the display xvfb_run.sh provides: a fresh directory, text
# on the clipboard before the start, the window read from outside.
# Usage: program_test.sh TESQUA SCREENSHOT_DIR SOURCE_DIR
set -euo pipefail
tesqua=$1
screenshots=$2
source=$3

work=$(mktemp -d)
cleanup() {
  [ -n "${pid:-}" ] && kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*" >&2
  exit 1
}
# Polls a command until it succeeds, at most 30 seconds' worth of tenths.
poll() {
  for _ in $(seq 300); do
    "$@" >/dev/null 2>&1 && return 0
    read -r -t 0.1 <> <(:) || true
  done
  return 1
}

# Without a display the starter says so and how to get one.
if message=$(env -u DISPLAY -u WAYLAND_DISPLAY "$source/script/run" 2>&1); then
  fail "script/run without a display succeeded"
fi
grep -q "xvfb-run -a .*script/run" <<<"$message" || fail "no xvfb-run line in: $message"

cd "$work"
printf 'X:=ZIG(1,2);' | xclip -selection clipboard -i
"$tesqua" &
pid=$!
window() { xdotool search --name '^TesquaV2\.0$' | head -n 1 | grep .; }
poll window || fail "no window"
id=$(window)
poll test -s code.ini || fail "no code.ini"

expected=$(mktemp -p "$work")
for entry in '$ZIG' '$PEAK' '$PEAKBARS' '$TROUGH' '$TROUGHBARS' '$FLATZIG' '$FLATZIGA' \
  '$PEAKA' '$PEAKBARSA' '$TROUGHA' '$ZIGA' '$FFT' '$BACKSET' '$WINNER' '$LWINNER' '$COST' \
  '$DYNAINFO' '$FINANCE' '$DRAWLINE' '#YEAR' '#MONTH' '#WEEK' CAPITAL DCLOSE DOPEN DLOW DVOL; do
  printf '%s\r\n' "$entry"
done >"$expected"
cmp code.ini "$expected" || fail "code.ini differs from the default library"

# Start-up emptied the clipboard.
if xclip -selection clipboard -o >/dev/null 2>&1; then fail "the clipboard still holds text"; fi

properties=$(xprop -id "$id" WM_NAME WM_CLASS _NET_WM_STATE _NET_WM_ICON)
grep -q 'WM_NAME(.*) = "TesquaV2.0"' <<<"$properties" || fail "caption: $properties"
grep -q 'WM_CLASS(STRING) = "tesqua", "tesqua"' <<<"$properties" || fail "class: $properties"
grep -q '_NET_WM_STATE_ABOVE' <<<"$properties" || fail "not kept above: $properties"
grep -q '_NET_WM_ICON(CARDINAL) = ' <<<"$properties" || fail "no icon"

# Flush right and centred vertically on the 1280 x 1024 screen, without a frame.
geometry=$(xwininfo -id "$id")
grep -q 'Absolute upper-left X:  1038$' <<<"$geometry" || fail "left: $geometry"
grep -Eq 'Absolute upper-left Y:  31[56]$' <<<"$geometry" || fail "top: $geometry"
grep -q 'Width: 242$' <<<"$geometry" || fail "width: $geometry"
grep -q 'Height: 393$' <<<"$geometry" || fail "height: $geometry"

mkdir -p "$screenshots"
import -window "$id" "$screenshots/tesqua-program.png" || fail "no screenshot"

kill "$pid"
wait "$pid" || true
pid=
echo "PASS"
