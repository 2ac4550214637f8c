#!/usr/bin/env bash
# The Windows zips (x64 and x86) as a user gets them: unpacked into a fresh folder (spaces and
# Chinese in its path) and run from there under Wine, in Simplified Chinese with code page 936;
# the 32-bit programs run in the same 64-bit prefix (WoW64, Wine's 32-bit side).
# Usage: check_windows_zip.sh DIST_DIR WINDOWS_BUILD_DIR (for the Wine set-up) STATE_DIR
kind=zip
source "$(dirname "$0")/common.sh"
dist=$(cd "$1" && pwd)
windows_build=$(cd "$2" && pwd)
mkdir -p "$3"
state=$(cd "$3" && pwd)

# What Explorer shows of a program, as wrestool (icoutils) takes it out: its icon's images
# (width/bits, or width/png), its version resource and its manifest.
read_resources() {  # PROGRAM
  wrestool -x --type=group_icon "$1" | python3 -c 'import struct, sys; d = sys.stdin.buffer.read()
for i in range(struct.unpack_from("<H", d, 4)[0]):
    width, bits, at = struct.unpack_from("<B5xH4xI", d, 6 + 16 * i)
    print(width or 256, "png" if d[at:at + 4] == b"\x89PNG" else bits, sep="/", end=" ")'
  wrestool -x --raw --type=version "$1" | python3 -c 'import re, struct, sys
d = sys.stdin.buffer.read()
ms, ls = struct.unpack_from("<II", d, d.index(b"\xbd\x04\xef\xfe") + 8)  # VS_FIXEDFILEINFO
print(ms >> 16, ms & 65535, ls >> 16, ls & 65535, sep=".")
for key in "CompanyName FileDescription FileVersion LegalCopyright ProductName".split():
    print(key, re.search(key + "\0+([^\0]*)", d.decode("utf-16-le"))[1], sep=": ")'
  local manifest
  manifest=$(wrestool -x --raw --type=24 "$1")
  grep -o -e 'name="[^"]*" version="[^"]*" processorArchitecture="[^"]*"' -e 'level="[^"]*"' \
    <<<"$manifest"
  echo "$(grep -c '<supportedOS ' <<<"$manifest") systems," \
    "$(grep -c '<activeCodePage' <<<"$manifest")"
}
resources() {  # NAME DESCRIPTION MANIFEST_ARCH: what read_resources gives for a program of ours
  printf '%s\n' "16/32 20/32 24/32 32/8 32/32 40/32 48/32 64/32 256/png $version.0" \
    "CompanyName: Xuvo软件工作室" "FileDescription: $2" "FileVersion: $version.0" \
    "LegalCopyright: Copyright © 2026 Xuvo软件工作室" "ProductName: Tesqua" \
    "name=\"$1\" version=\"$version.0\" processorArchitecture=\"$3\"" 'level="asInvoker"' \
    "4 systems, 0"
}

# What is inside, without Wine; unpacked into "$state/下载 的文件/<arch>".
unpack() {  # ARCH MANIFEST_ARCH PE_FORMAT MACHINE
  kind=zip-$1
  local zip=$dist/tesqua-$version-windows-$1.zip folder="$state/下载 的文件/$1"
  check "entries, sorted" same "$(unzip -Z1 "$zip")" $'tesqua-scan.exe\ntesqua.exe\n说明.txt'
  check "说明.txt starts with a UTF-8 byte-order mark" \
    same "$(unzip -p "$zip" 说明.txt | head -c 3 | od -An -tx1)" " ef bb bf"
  check "说明.txt ends every line with CR LF" same "$(unzip -p "$zip" 说明.txt | grep -c -v $'\r$')" 0
  check "说明.txt names both zips of this version" \
    same "$(unzip -p "$zip" 说明.txt | grep -o 'tesqua-[^ ]*\.zip' | sort -u)" \
    "tesqua-$version-windows-x64.zip"$'\n'"tesqua-$version-windows-x86.zip"
  mkdir -p "$folder"
  unzip -q "$zip" -d "$folder"
  check "both programs stripped" \
    same "$(x86_64-w64-mingw32-nm "$folder"/*.exe 2>&1 | grep -c 'no symbols')" 2
  check "tesqua-scan.exe and tesqua.exe for $1" \
    same "$(file -b "$folder"/*.exe | sed -E 's/(,| \(stripped).*//')" \
    "$3 executable (console) $4"$'\n'"$3 executable (GUI) $4"
  check "tesqua.exe: icon, version resource, manifest" \
    same "$(read_resources "$folder/tesqua.exe")" \
    "$(resources Tesqua "Tesqua future-function checker" "$2")"
  check "tesqua-scan.exe: icon, version resource, manifest (no UTF-8 code page)" \
    same "$(read_resources "$folder/tesqua-scan.exe")" \
    "$(resources Tesqua.Scan "Tesqua command-line scanner" "$2")"
}
rm -rf "$state/下载 的文件"
unpack x64 amd64 PE32+ x86-64
unpack x86 x86 PE32 "Intel 80386"

# Under Wine: the prefix, display and locale of the end-to-end tests, in a state folder of ours.
kind=zip
wine_tests=$top/tests/e2e/win32/run_wine_tests.sh
bash "$wine_tests" "$windows_build" "$state" setup >"$state/setup.log" 2>&1 ||
  { cat "$state/setup.log"; echo "FAIL zip: Wine could not be set up"; exit 1; }
cleanup() { bash "$wine_tests" "$windows_build" "$state" cleanup >/dev/null 2>&1; }
trap cleanup EXIT
run() { bash "$wine_tests" "$windows_build" "$state" run "$@" 2>>"$state/wine-stderr.log"; }
export DISPLAY=:$(cat "$state/display")  # for xdotool
# A GBK formula and a GBK library with a Chinese entry, read in the system's code page.
printf '$ZIG\r\n\xc0\xfa\xca\xb7\r\n' >"$state/lib.ini"  # $ZIG, 历史
cp "$top/examples/zig_peak.txt" "$state/公式.txt"
window_shown() { xdotool search --name '^TesquaV2\.0$' >/dev/null 2>&1; }

for arch in x64 x86; do
  kind=zip-$arch
  folder="$state/下载 的文件/$arch"
  cd "$folder" || exit 1
  # Output to a pipe ends its lines with CR LF, as on Windows a redirected output does.
  check "tesqua-scan.exe --version" same "$(run tesqua-scan.exe --version)" "tesqua-scan $version"$'\r'
  scan=$(cd "$state" && run "$folder/tesqua-scan.exe" --library lib.ini 公式.txt; echo "status $?")
  check "a GBK formula scanned" same "$scan" \
    $'\r\n注意：发现未来函数ZIG！\r\n注意：发现未来函数历史！\r\nstatus 1'

  # tesqua.exe started in its folder writes the default library there and shows its window.
  run tesqua.exe >/dev/null &
  deadline=$((SECONDS + 90))
  until { window_shown && [ -s code.ini ]; } || [ $SECONDS -ge $deadline ]; do sleep 0.2; done
  check "tesqua.exe shows its window" window_shown
  check "tesqua.exe writes code.ini in its folder" cmp -s code.ini "$top/tests/data/default_code.ini"
  run taskkill /f /im tesqua.exe >/dev/null
  wait
done
cleanup
[ "$failures" -eq 0 ]
