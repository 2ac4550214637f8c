#!/usr/bin/env bash
# Runs a command on a private virtual X display (the server picks a free number), then takes
# the display down. Usage: xvfb_run.sh COMMAND [ARGUMENT...]
set -euo pipefail
runtime=$(mktemp -d)
mkfifo "$runtime/display"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3>"$runtime/display" \
  >"$runtime/xvfb.log" 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null; wait $xvfb 2>/dev/null; rm -rf "$runtime"' EXIT
# The server writes its number once it accepts clients.
read -r -t 60 number <"$runtime/display" || { cat "$runtime/xvfb.log" >&2; exit 1; }
DISPLAY=":$number" QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR="$runtime" "$@"
