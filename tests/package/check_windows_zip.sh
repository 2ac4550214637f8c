#!/usr/bin/env bash
# The Windows zip as a user gets it: unpacked into a fresh folder (spaces and Chinese in its
# path) and run from there under Wine, in Simplified Chinese with code page 936.
# Usage: check_windows_zip.sh DIST_DIR WINDOWS_BUILD_DIR STATE_DIR
# WINDOWS_BUILD_DIR is only what the Wine set-up of the end-to-end tests asks for.
set -uo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
dist=$(cd "$1" && pwd)
windows_build=$2
mkdir -p "$3"
state=$(cd "$3" && pwd)
version=$(sed -n 's/^project(Tesqua VERSION \([0-9.]*\).*/\1/p' "$top/CMakeLists.txt")
zip=$dist/tesqua-$version-windows-x64.zip
export LC_ALL=C.UTF-8
failures=0
check() {  # what, command...
  local what=$1
  shift
  if "$@"; then echo "ok   zip: $what"; else echo "FAIL zip: $what"; failures=$((failures + 1)); fi
}
same() { [ "$1" = "$2" ] || { printf 'got  %q\nwant %q\n' "$1" "$2" >&2; return 1; }; }

# What is inside, without Wine.
check "entries, sorted" same "$(unzip -Z1 "$zip")" $'tesqua-scan.exe\ntesqua.exe\n说明.txt'
guide=$(unzip -p "$zip" 说明.txt | od -An -tx1 -N3 | tr -d ' ')
check "说明.txt starts with a UTF-8 byte-order mark" same "$guide" efbbbf
check "说明.txt ends every line with CR LF" \
  same "$(unzip -p "$zip" 说明.txt | grep -c -v $'\r$')" 0
folder="$state/下载 的文件/tesqua"
rm -rf "$state/下载 的文件"
mkdir -p "$folder"
unzip -q "$zip" -d "$folder"
for exe in tesqua.exe tesqua-scan.exe; do
  check "$exe is stripped" same "$(x86_64-w64-mingw32-nm "$folder/$exe" 2>&1)" \
    "x86_64-w64-mingw32-nm: $folder/$exe: no symbols"
done
# The version resource's numbers and texts, and the manifest's assembly version.
versions=$(python3 - "$folder/tesqua.exe" <<'PY'
import struct, sys
data = open(sys.argv[1], "rb").read()
at = data.index(b"\xbd\x04\xef\xfe")  # VS_FIXEDFILEINFO
ms, ls = struct.unpack_from("<II", data, at + 8)
words = [ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF]
print(".".join(map(str, words)))
for key in ("FileVersion", "ProductVersion"):
    at = data.index((key + "\0").encode("utf-16le")) + 2 * len(key) + 2
    while data[at : at + 2] == b"\0\0":
        at += 2
    end = at
    while data[end : end + 2] != b"\0\0":
        end += 2
    print(data[at:end].decode("utf-16le"))
PY
)
check "version resource" same "$versions" "$version.0"$'\n'"$version.0"$'\n'"$version.0"
check "manifest" same "$(grep -a -o 'name="Tesqua" version="[0-9.]*"' "$folder/tesqua.exe")" \
  "name=\"Tesqua\" version=\"$version.0\""

# Under Wine: the prefix, display and locale of the end-to-end tests, in a state folder of ours.
wine_tests=$top/tests/e2e/win32/run_wine_tests.sh
if ! bash "$wine_tests" "$windows_build" "$state" setup >"$state/setup.log" 2>&1; then
  cat "$state/setup.log"
  echo "FAIL zip: Wine could not be set up"
  exit 1
fi
cleanup() { bash "$wine_tests" "$windows_build" "$state" cleanup >/dev/null 2>&1; }
trap cleanup EXIT
export WINEPREFIX=$state/wineprefix WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export DISPLAY=:$(cat "$state/display")
wine=$(command -v wine64 || echo /usr/lib/wine/wine64)
[ -x "$wine" ] || wine=$(command -v wine)
chinese=(env LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8)
[ -d "$state/locale" ] && chinese+=(LOCPATH="$state/locale")
run() { timeout 120 "${chinese[@]}" "$wine" "$@" </dev/null 2>>"$state/wine-stderr.log"; }

check "tesqua-scan.exe --version" same "$(run "$folder/tesqua-scan.exe" --version)" \
  "tesqua-scan $version"
# A GBK formula and a GBK library with a Chinese entry, read in the system's code page.
work=$state/scan
rm -rf "$work"
mkdir -p "$work"
printf '$ZIG\r\n\xc0\xfa\xca\xb7\r\n' >"$work/lib.ini"  # $ZIG, 历史
cp "$top/examples/zig_peak.txt" "$work/公式.txt"
scan=$(cd "$work" && run "$folder/tesqua-scan.exe" --library lib.ini 公式.txt; echo "status $?")
check "a GBK formula scanned" same "$scan" \
  $'\r\n注意：发现未来函数ZIG！\r\n注意：发现未来函数历史！\nstatus 1'

# tesqua.exe started in its folder writes the default library there and shows its window.
(cd "$folder" && run tesqua.exe >/dev/null) &
window_shown() { xdotool search --name '^TesquaV2\.0$' >/dev/null 2>&1; }
deadline=$((SECONDS + 90))
until { window_shown && [ -s "$folder/code.ini" ]; } || [ $SECONDS -ge $deadline ]; do sleep 0.2; done
check "tesqua.exe shows its window" window_shown
check "tesqua.exe writes code.ini in its folder" cmp -s "$folder/code.ini" <(printf '%s\r\n' \
  '$ZIG' '$PEAK' '$PEAKBARS' '$TROUGH' '$TROUGHBARS' '$FLATZIG' '$FLATZIGA' '$PEAKA' \
  '$PEAKBARSA' '$TROUGHA' '$ZIGA' '$FFT' '$BACKSET' '$WINNER' '$LWINNER' '$COST' '$DYNAINFO' \
  '$FINANCE' '$DRAWLINE' '#YEAR' '#MONTH' '#WEEK' CAPITAL DCLOSE DOPEN DLOW DVOL)
cleanup
wait
[ "$failures" -eq 0 ]
