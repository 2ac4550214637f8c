#!/usr/bin/env bash
# Runs a command on a private virtual X display of its own, then takes the display down.
# Usage: xvfb_run.sh COMMAND [ARGUMENT...]
set -euo pipefail

runtime=$(mktemp -d)
chmod 700 "$runtime"
cleanup() {
  if [ -n "${xvfb_pid:-}" ]; then
    kill "$xvfb_pid" 2>/dev/null || true
    wait "$xvfb_pid" 2>/dev/null || true
  fi
  rm -rf "$runtime"
}
trap cleanup EXIT

# -displayfd: the server picks a free display number and writes it once it accepts clients.
mkfifo "$runtime/display"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3>"$runtime/display" \
  >"$runtime/xvfb.log" 2>&1 &
xvfb_pid=$!
number=
read -r -t 60 number <"$runtime/display" || true
if [ -z "$number" ]; then
  echo "xvfb_run.sh: Xvfb did not start" >&2
  cat "$runtime/xvfb.log" >&2
  exit 1
fi

export DISPLAY=":$number"
export QT_QPA_PLATFORM=xcb
export XDG_RUNTIME_DIR="$runtime"
"$@"
