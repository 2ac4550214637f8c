#!/usr/bin/env bash
# cmake --install lays the program out as a Linux desktop expects. Usage: install_test.sh BUILD_DIR
set -euo pipefail
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$1" --prefix "$prefix" >/dev/null
fail() { echo "FAIL: $*" >&2; exit 1; }
for file in bin/tesqua bin/tesqua-scan share/applications/tesqua.desktop \
  share/icons/hicolor/{32x32,48x48,64x64,128x128,256x256}/apps/tesqua.png; do
  [ -e "$prefix/$file" ] || fail "$file not installed"
done
[ -x "$prefix/bin/tesqua" ] || fail "bin/tesqua is not executable"
for key in Type=Application Exec=tesqua Icon=tesqua Terminal=false; do
  grep -qx "$key" "$prefix/share/applications/tesqua.desktop" || fail "no $key in tesqua.desktop"
done
[ "$(identify -format %wx%h "$prefix/share/icons/hicolor/64x64/apps/tesqua.png")" = 64x64 ] ||
  fail "the 64x64 icon is not 64 x 64"
echo PASS
