#!/usr/bin/env bash
# The Windows zip as a user gets it: unpacked into a fresh folder (spaces and Chinese in its
# path) and run from there under Wine, in Simplified Chinese with code page 936.
# Usage: check_windows_zip.sh DIST_DIR WINDOWS_BUILD_DIR (for the Wine set-up) STATE_DIR
kind=zip
source "$(dirname "$0")/common.sh"
zip=$(cd "$1" && pwd)/tesqua-$version-windows-x64.zip
windows_build=$(cd "$2" && pwd)
mkdir -p "$3"
state=$(cd "$3" && pwd)

# What is inside, without Wine.
check "entries, sorted" same "$(unzip -Z1 "$zip")" $'tesqua-scan.exe\ntesqua.exe\n说明.txt'
check "说明.txt starts with a UTF-8 byte-order mark" \
  same "$(unzip -p "$zip" 说明.txt | head -c 3 | od -An -tx1)" " ef bb bf"
check "说明.txt ends every line with CR LF" same "$(unzip -p "$zip" 说明.txt | grep -c -v $'\r$')" 0
folder="$state/下载 的文件/tesqua"
rm -rf "$state/下载 的文件"
mkdir -p "$folder"
unzip -q "$zip" -d "$folder"
cd "$folder" || exit 1
check "both programs stripped" same "$(x86_64-w64-mingw32-nm ./*.exe 2>&1 | grep -c 'no symbols')" 2
# The version resource's numbers and texts, and the manifest's assembly version.
fixed=$(python3 -c 'import struct, sys; d = open("tesqua.exe", "rb").read()
ms, ls = struct.unpack_from("<II", d, d.index(b"\xbd\x04\xef\xfe") + 8)  # VS_FIXEDFILEINFO
print(ms >> 16, ms & 65535, ls >> 16, ls & 65535, sep=".")')
texts=$(strings -a -el tesqua.exe | grep -A1 --no-group-separator -x 'FileVersion\|ProductVersion')
check "version resource" same "$fixed"$'\n'"$texts" \
  "$version.0"$'\n'"FileVersion"$'\n'"$version.0"$'\n'"ProductVersion"$'\n'"$version.0"
check "manifest" same "$(grep -a -o 'name="Tesqua" version="[0-9.]*"' tesqua.exe)" \
  "name=\"Tesqua\" version=\"$version.0\""

# Under Wine: the prefix, display and locale of the end-to-end tests, in a state folder of ours.
wine_tests=$top/tests/e2e/win32/run_wine_tests.sh
bash "$wine_tests" "$windows_build" "$state" setup >"$state/setup.log" 2>&1 ||
  { cat "$state/setup.log"; echo "FAIL zip: Wine could not be set up"; exit 1; }
cleanup() { bash "$wine_tests" "$windows_build" "$state" cleanup >/dev/null 2>&1; }
trap cleanup EXIT
run() { bash "$wine_tests" "$windows_build" "$state" run "$@" 2>>"$state/wine-stderr.log"; }
export DISPLAY=:$(cat "$state/display")  # for xdotool

check "tesqua-scan.exe --version" same "$(run tesqua-scan.exe --version)" "tesqua-scan $version"
# A GBK formula and a GBK library with a Chinese entry, read in the system's code page.
printf '$ZIG\r\n\xc0\xfa\xca\xb7\r\n' >"$state/lib.ini"  # $ZIG, 历史
cp "$top/examples/zig_peak.txt" "$state/公式.txt"
scan=$(cd "$state" && run "$folder/tesqua-scan.exe" --library lib.ini 公式.txt; echo "status $?")
check "a GBK formula scanned" same "$scan" \
  $'\r\n注意：发现未来函数ZIG！\r\n注意：发现未来函数历史！\nstatus 1'

# tesqua.exe started in its folder writes the default library there and shows its window.
run tesqua.exe >/dev/null &
window_shown() { xdotool search --name '^TesquaV2\.0$' >/dev/null 2>&1; }
deadline=$((SECONDS + 90))
until { window_shown && [ -s code.ini ]; } || [ $SECONDS -ge $deadline ]; do sleep 0.2; done
check "tesqua.exe shows its window" window_shown
check "tesqua.exe writes code.ini in its folder" cmp -s code.ini "$top/tests/data/default_code.ini"
cleanup
wait
[ "$failures" -eq 0 ]
