#!/usr/bin/env bash
# Runs tesqua.exe's end-to-end tests under Wine on a private Xvfb display, as our users'
# machines are set: Simplified Chinese, ANSI code page 936.
#
#   run_wine_tests.sh WINDOWS_BUILD_DIR STATE_DIR setup
#       start a private display and a fresh Wine prefix, kept in STATE_DIR
#   run_wine_tests.sh WINDOWS_BUILD_DIR STATE_DIR case NAME
#       run one case of the test driver
#   run_wine_tests.sh WINDOWS_BUILD_DIR STATE_DIR screenshot NAME
#       run the show_NAME case and save the window as WINDOWS_BUILD_DIR/artifacts/tesqua-NAME.png
#       (show_console: tesqua-scan.exe in a console, by its own test program)
#   run_wine_tests.sh WINDOWS_BUILD_DIR STATE_DIR cleanup
#       end Wine and the display
#   run_wine_tests.sh WINDOWS_BUILD_DIR STATE_DIR all
#       all of it, in one go
#
# Every Wine process writes to a log file, never to this script's output: processes that
# outlive a step must not hold the test runner's pipes open.
set -euo pipefail

build=$(cd "$1" && pwd)
mkdir -p "$2"
state=$(cd "$2" && pwd)
command=$3
name=${4:-}

prefix=$state/wineprefix
logs=$state/logs
mkdir -p "$state" "$logs"

tesqua_exe=$build/platform/win32/tesqua.exe
driver_exe=$build/tests/e2e/win32/tesqua-e2e.exe
scan_exe=$build/cli/tesqua-scan.exe
console_test_exe=$build/tests/e2e/win32/tesqua-console-test.exe

if command -v wine64 >/dev/null; then
  wine=$(command -v wine64)
elif [ -x /usr/lib/wine/wine64 ]; then
  wine=/usr/lib/wine/wine64
else
  wine=$(command -v wine)
fi
wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)

export WINEPREFIX=$prefix WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset WAYLAND_DISPLAY
# Wine wants a home; CI may give none.
if [ -z "${HOME:-}" ]; then
  export HOME=$state/home
  mkdir -p "$HOME"
fi
if [ -f "$state/display" ]; then
  export DISPLAY=:$(cat "$state/display")
fi

# Wine in Simplified Chinese; the shell itself keeps its own locale. Where the system has no
# zh_CN.UTF-8 generated, Wine gets our own copy.
chinese=(env LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8)
own_locale=""
if ! locale -a 2>/dev/null | grep -qix 'zh_CN\.utf-\?8'; then
  own_locale=$state/locale
  chinese+=(LOCPATH="$own_locale")
fi

fail() {
  echo "run_wine_tests: $*" >&2
  exit 1
}

# Polls until the command succeeds, for at most $1 seconds.
wait_until() {
  local seconds=$1
  shift
  local deadline=$((SECONDS + seconds))
  until "$@"; do
    [ "$SECONDS" -lt "$deadline" ] || return 1
    sleep 0.1
  done
}

windows_path() {
  printf 'Z:%s' "${1//\//\\}"
}

make_locale() {
  [ -n "$own_locale" ] || return 0
  [ -d "$own_locale/zh_CN.UTF-8" ] && return 0
  mkdir -p "$own_locale"
  # localedef warns about the definition yet writes a usable locale; its exit status says so.
  localedef -i zh_CN -f UTF-8 "$own_locale/zh_CN.UTF-8" >"$logs/localedef.log" 2>&1 || true
  [ -d "$own_locale/zh_CN.UTF-8" ] || fail "could not make the zh_CN.UTF-8 locale"
}

start_display() {
  rm -f "$state/display"
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$state/display" \
    </dev/null >"$logs/xvfb.log" 2>&1 &
  echo $! >"$state/xvfb.pid"
  wait_until 20 test -s "$state/display" || fail "Xvfb did not start: $(cat "$logs/xvfb.log")"
  export DISPLAY=:$(cat "$state/display")
  wait_until 20 xdpyinfo >/dev/null 2>&1 || fail "display $DISPLAY does not answer"
}

# The web browser of the prefix only notes the address it was asked to open.
write_browser() {
  cat >"$state/browser" <<EOF
#!/bin/sh
printf '%s' "\$1" >"$state/cases/label3_web_page/opened-address"
EOF
  chmod +x "$state/browser"
}

# 宋体 and the other Chinese faces map to the CJK fonts installed; Wine draws the title bar
# itself, as there is no window manager; crashes show no dialog that would wait for a click.
write_registry() {
  local reg=$state/settings.reg
  {
    printf 'Windows Registry Editor Version 5.00\r\n\r\n'
    printf '[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows NT\\CurrentVersion\\FontSubstitutes]\r\n'
    printf '"宋体"="Noto Serif CJK SC"\r\n'
    printf '"SimSun"="Noto Serif CJK SC"\r\n'
    printf '"新宋体"="Noto Serif CJK SC"\r\n'
    printf '"NSimSun"="Noto Serif CJK SC"\r\n'
    printf '"Microsoft YaHei"="Noto Sans CJK SC"\r\n'
    printf '"Microsoft YaHei UI"="Noto Sans CJK SC"\r\n\r\n'
    printf '[HKEY_CURRENT_USER\\Software\\Wine\\X11 Driver]\r\n'
    printf '"Decorated"="N"\r\n\r\n'
    printf '[HKEY_CURRENT_USER\\Software\\Wine\\WineDbg]\r\n'
    printf '"ShowCrashDialog"=dword:00000000\r\n\r\n'
    printf '[HKEY_CURRENT_USER\\Software\\Wine\\WineBrowser]\r\n'
    printf '"Browsers"="%s"\r\n' "$state/browser"
  } | iconv -f UTF-8 -t UTF-16LE | { printf '\xff\xfe'; cat; } >"$reg"
  timeout 60 "${chinese[@]}" "$wine" regedit /S "$(windows_path "$reg")" </dev/null >>"$logs/wine.log" 2>&1 ||
    fail "regedit failed: $(tail -5 "$logs/wine.log")"
}

setup() {
  [ -x "$tesqua_exe" ] || fail "$tesqua_exe is missing: cmake --build --preset windows first"
  [ -x "$driver_exe" ] || fail "$driver_exe is missing: cmake --build --preset windows first"
  cleanup
  rm -rf "$prefix" "$state/cases"
  mkdir -p "$prefix"
  make_locale
  start_display
  # One persistent server for the whole run, so each case starts quickly.
  "${chinese[@]}" "$wineserver" -p </dev/null >>"$logs/wine.log" 2>&1
  timeout 180 "${chinese[@]}" "$wine" wineboot --init </dev/null >>"$logs/wine.log" 2>&1 ||
    fail "wineboot failed: $(tail -20 "$logs/wine.log")"
  write_browser
  write_registry
  echo "Wine ready on display $DISPLAY, prefix $prefix"
}

cleanup() {
  if [ -d "$prefix" ]; then
    timeout 30 "$wineserver" -k </dev/null >/dev/null 2>&1 || true
  fi
  if [ -f "$state/xvfb.pid" ]; then
    kill "$(cat "$state/xvfb.pid")" 2>/dev/null || true
    rm -f "$state/xvfb.pid" "$state/display"
  fi
}

run_case() {
  local case_name=$1
  local dir=$state/cases/$case_name
  rm -rf "$dir"
  mkdir -p "$dir"
  local status=0
  timeout 180 "${chinese[@]}" "$wine" "$driver_exe" "$case_name" "$(windows_path "$tesqua_exe")" \
    "$(windows_path "$dir")" </dev/null >"$dir/driver.log" 2>&1 || status=$?
  cat "$dir/driver.log"
  return "$status"
}

screenshot() {
  local case_name=show_$1
  local program=$driver_exe subject=$tesqua_exe
  if [ "$1" = console ]; then
    program=$console_test_exe
    subject=$scan_exe
  fi
  local dir=$state/cases/$case_name
  local artifacts=$build/artifacts
  mkdir -p "$artifacts"
  rm -rf "$dir"
  mkdir -p "$dir"
  timeout 180 "${chinese[@]}" "$wine" "$program" "$case_name" "$(windows_path "$subject")" \
    "$(windows_path "$dir")" </dev/null >"$dir/driver.log" 2>&1 &
  local driver=$!
  if ! wait_until 60 test -s "$dir/window-ready"; then
    wait "$driver" || true
    cat "$dir/driver.log"
    fail "the window did not come up for the screenshot"
  fi
  local geometry
  geometry=$(cat "$dir/window-ready")
  import -window root "$dir/screen.png"
  convert "$dir/screen.png" -crop "$geometry" +repage "$artifacts/tesqua-$1.png"
  cp "$dir/screen.png" "$artifacts/screen-$1.png"
  touch "$dir/screenshot-taken"
  local status=0
  wait "$driver" || status=$?
  cat "$dir/driver.log"
  [ -s "$artifacts/tesqua-$1.png" ] || fail "no screenshot was saved"
  echo "screenshot: $artifacts/tesqua-$1.png"
  return "$status"
}

case $command in
  setup) setup ;;
  case) run_case "$name" ;;
  screenshot) screenshot "$name" ;;
  cleanup) cleanup ;;
  all)
    trap cleanup EXIT
    setup
    failures=0
    for each in first_start formulas text_formats empty_library long_text check1 \
      label1_editor label3_web_page viewer_chain keyboard held_clipboard clipboard_burst; do
      run_case "$each" || failures=$((failures + 1))
    done
    screenshot instructions || failures=$((failures + 1))
    screenshot verdict || failures=$((failures + 1))
    screenshot console || failures=$((failures + 1))
    [ "$failures" -eq 0 ]
    ;;
  *) fail "unknown command $command" ;;
esac
