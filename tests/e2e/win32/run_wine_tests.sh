#!/usr/bin/env bash
# tesqua.exe's end-to-end tests under Wine in Simplified Chinese on a private Xvfb display:
#   run_wine_tests.sh WINDOWS_BUILD_DIR STATE_DIR setup|cleanup|all|case NAME|run PROGRAM ARGS...
# Wine writes to log files only: a process that outlives a step must not hold ctest's pipes.
set -euo pipefail
build=$(cd "$1" && pwd)
mkdir -p "$2/logs"
state=$(cd "$2" && pwd)
prefix=$state/wineprefix logs=$state/logs
wine=$(command -v wine64 || echo /usr/lib/wine/wine64)
[ -x "$wine" ] || wine=$(command -v wine)
wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)
export WINEPREFIX=$prefix WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset WAYLAND_DISPLAY
[ -n "${HOME:-}" ] || export HOME=$state/home  # Wine wants one; CI may give none
[ ! -f "$state/display" ] || export DISPLAY=:$(cat "$state/display")
# Wine in Chinese, the shell in its own locale; our own zh_CN.UTF-8 where the system has none.
chinese=(env LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8)
locale -a 2>/dev/null | grep -qix 'zh_CN\.utf-\?8' || chinese+=(LOCPATH="$state/locale")

fail() { echo "run_wine_tests: $*" >&2 && exit 1; }
wait_until() {  # SECONDS COMMAND...
  local deadline=$((SECONDS + $1))
  shift
  until "$@"; do [ "$SECONDS" -lt "$deadline" ] && sleep 0.1 || return 1; done
}
wine() { timeout "$1" "${chinese[@]}" "$wine" "${@:2}" </dev/null >>"$logs/wine.log" 2>&1; }

setup() {
  cleanup
  rm -rf "$prefix" "$state/cases"
  mkdir -p "$HOME" "$prefix" "$state/cases/clicks" "$state/locale"
  if [[ ${chinese[*]} == *LOCPATH* && ! -d $state/locale/zh_CN.UTF-8 ]]; then
    # localedef warns about the definition yet writes a usable locale.
    localedef -i zh_CN -f UTF-8 "$state/locale/zh_CN.UTF-8" >"$logs/localedef.log" 2>&1 || true
    [ -d "$state/locale/zh_CN.UTF-8" ] || fail "could not make the zh_CN.UTF-8 locale"
  fi
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$state/display" \
    </dev/null >"$logs/xvfb.log" 2>&1 &
  echo $! >"$state/xvfb.pid"
  wait_until 20 test -s "$state/display" || fail "Xvfb did not start: $(cat "$logs/xvfb.log")"
  export DISPLAY=:$(cat "$state/display")
  wait_until 20 xdpyinfo >/dev/null 2>&1 || fail "display $DISPLAY does not answer"
  # One persistent server for the whole run, so each case starts quickly.
  "${chinese[@]}" "$wineserver" -p </dev/null >>"$logs/wine.log" 2>&1
  wine 180 wineboot --init || fail "wineboot failed: $(tail -20 "$logs/wine.log")"
  # The prefix's web browser only notes the address it was asked to open.
  printf '#!/bin/sh\nprintf %%s "$1" >"%s"\n' "$state/cases/clicks/opened-address" >"$state/browser"
  chmod +x "$state/browser"
  # 宋体 and the other Chinese faces drawn with the CJK fonts installed; Wine draws the title
  # bar itself, as there is no window manager; a crash shows no dialog waiting for a click.
  local fonts='HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes' face font
  for face in 宋体 SimSun 新宋体 NSimSun "Microsoft YaHei" "Microsoft YaHei UI"; do
    [[ $face == M* ]] && font="Noto Sans CJK SC" || font="Noto Serif CJK SC"
    wine 60 reg add "$fonts" /v "$face" /d "$font" /f || fail "reg add failed"
  done
  wine 60 reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f &&
    wine 60 reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f &&
    wine 60 reg add 'HKCU\Software\Wine\WineBrowser' /v Browsers /d "$state/browser" /f ||
    fail "reg add failed: $(tail -5 "$logs/wine.log")"
  echo "Wine ready on display $DISPLAY, prefix $prefix"
}

cleanup() {
  [ ! -d "$prefix" ] || timeout 30 "$wineserver" -k </dev/null >/dev/null 2>&1 || true
  [ ! -f "$state/xvfb.pid" ] || kill "$(cat "$state/xvfb.pid")" 2>/dev/null || true
  rm -f "$state/xvfb.pid" "$state/display"
}

# Runs a case, CASE_DPI at that DPI (LogPixels, which each new process reads) and else at 96;
# "NAME GEOMETRY" in its folder's file `shot` asks for build/artifacts/tesqua-NAME.png.
run_case() {
  local dir=$state/cases/$1 exe=$build/platform/win32/tesqua.exe shots=$build/artifacts
  local name=${1%_*} dpi=96
  [ "$name" = "$1" ] || dpi=${1##*_}
  [ "$1" != console ] || exe=$build/cli/tesqua-scan.exe
  rm -rf "$dir" && mkdir -p "$dir" "$shots"
  # Folder links for the console case: Wine 8 makes neither junctions (FSCTL_SET_REPARSE_POINT
  # is not supported) nor symbolic links (CreateSymbolicLinkW does nothing), and shows a Unix
  # link to a folder as a reparse-point folder, as Windows shows both.
  if [ "$1" = console ]; then
    mkdir -p "$dir/tree/sub" "$dir/elsewhere"
    ln -s .. "$dir/tree/sub/up" && ln -s "$dir/elsewhere" "$dir/tree/junction"
  fi
  cp "$(dirname "$0")/../../data/default_code.ini" "$state/cases/default.ini"
  wine 60 reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f ||
    fail "could not set the DPI to $dpi"
  timeout 280 "${chinese[@]}" "$wine" "$build/tests/e2e/win32/tesqua-e2e.exe" "$name" \
    "Z:${exe//\//\\}" "Z:${dir//\//\\}" </dev/null >"$dir/driver.log" 2>&1 &
  local driver=$! status=0 name geometry
  while kill -0 "$driver" 2>/dev/null; do
    if [ -s "$dir/shot" ]; then
      read -r name geometry <"$dir/shot" || true
      import -window root "$shots/screen-$name.png" &&
        convert "$shots/screen-$name.png" -crop "$geometry" +repage "$shots/tesqua-$name.png" ||
        status=1
      echo "screenshot: $shots/tesqua-$name.png" >>"$dir/runner.log" && rm "$dir/shot"
    fi
    sleep 0.2
  done
  wait "$driver" || status=$?
  cat "$dir"/*.log
  return "$status"
}

case $3 in
  setup | cleanup) "$3" ;;
  case) run_case "$4" ;;
  run) timeout 120 "${chinese[@]}" "$wine" "${@:4}" </dev/null ;;  # set up before
  all)
    trap cleanup EXIT
    setup
    failures=0
    for each in window window_120 window_144 verdicts clicks clipboard console; do
      run_case "$each" || ((++failures))
    done
    [ "$failures" -eq 0 ]
    ;;
  *) fail "unknown command $3" ;;
esac
