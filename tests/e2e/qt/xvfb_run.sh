#!/usr/bin/env bash
# Runs a command on a private virtual X display (the server picks a free number), then takes
# the display down. Usage: xvfb_run.sh COMMAND [ARGUMENT...]
set -euo pipefail
runtime=$(mktemp -d)
coproc XVFB { exec Xvfb -displayfd 1 -screen 0 1280x1024x24 -nolisten tcp -noreset 2>"$runtime/log"; }
xvfb=$XVFB_PID
trap 'kill $xvfb 2>/dev/null; wait $xvfb 2>/dev/null; rm -rf "$runtime"' EXIT
# The server writes its number once it accepts clients.
read -r -t 60 number <&"${XVFB[0]}" || { cat "$runtime/log" >&2; exit 1; }
DISPLAY=":$number" QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR="$runtime" "$@"
