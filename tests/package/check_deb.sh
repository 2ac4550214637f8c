#!/usr/bin/env bash
# The Debian package as a system gets it: lintian's verdict, and its files unpacked into a
# temporary root (dpkg-deb -x), run and validated from there.
# Usage: check_deb.sh DIST_DIR
set -uo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
version=$(sed -n 's/^project(Tesqua VERSION \([0-9.]*\).*/\1/p' "$top/CMakeLists.txt")
deb=$1/tesqua_${version}_amd64.deb
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
export LC_ALL=C.UTF-8
failures=0
check() {  # what, command...
  local what=$1
  shift
  if "$@"; then echo "ok   deb: $what"; else echo "FAIL deb: $what"; failures=$((failures + 1)); fi
}
same() { [ "$1" = "$2" ] || { printf 'got  %q\nwant %q\n' "$1" "$2" >&2; return 1; }; }

# Errors and warnings fail; the tags left on purpose are overridden, with the reason, in
# packaging/lintian-overrides.
check "lintian" lintian --fail-on error,warning "$deb"
depends=$(dpkg-deb -f "$deb" Depends)
check "dependencies from the binaries: $depends" \
  grep -q 'libc6 (>= [0-9.]*).*libqt6widgets6 (>= [0-9.]*)' <<<"$depends"

dpkg-deb -x "$deb" "$root"
metainfo=usr/share/metainfo/example.xuvo.tesqua.metainfo.xml
for file in usr/bin/tesqua usr/bin/tesqua-scan usr/share/applications/tesqua.desktop \
  "$metainfo" usr/share/man/man1/tesqua.1.gz usr/share/man/man1/tesqua-scan.1.gz \
  usr/share/doc/tesqua/copyright usr/share/doc/tesqua/changelog.gz; do
  check "$file" test -s "$root/$file"
done
for size in 32 48 64 128 256; do
  check "${size}x$size icon" same \
    "$(identify -format '%wx%h' "$root/usr/share/icons/hicolor/${size}x$size/apps/tesqua.png")" \
    "${size}x$size"
done
check "tesqua-scan --version" same "$("$root/usr/bin/tesqua-scan" --version)" "tesqua-scan $version"
check "tesqua --version" same "$("$root/usr/bin/tesqua" --version)" "tesqua $version"
scan=$(cd "$root" && usr/bin/tesqua-scan "$top/examples/zig_peak.txt"; echo "status $?")
check "tesqua-scan scans" same "$scan" \
  $'\r\n注意：发现未来函数ZIG！\r\n注意：发现未来函数PEAK！\r\n注意：发现未来函数DVOL！\nstatus 1'
# The manual page is tesqua-scan's own --help: an option it documents is in it.
check "the manual page of tesqua-scan" zgrep -q -- 'recursive' "$root/usr/share/man/man1/tesqua-scan.1.gz"
check "desktop-file-validate" desktop-file-validate "$root/usr/share/applications/tesqua.desktop"
check "appstreamcli validate" appstreamcli validate --no-net --pedantic "$root/$metainfo"
[ "$failures" -eq 0 ]
