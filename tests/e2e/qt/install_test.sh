#!/usr/bin/env bash
# cmake --install lays the program out as a Linux desktop expects.
# Usage: install_test.sh BUILD_DIR
set -euo pipefail
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT

cmake --install "$1" --prefix "$prefix" >/dev/null
for file in bin/tesqua bin/tesqua-scan share/applications/tesqua.desktop \
  share/icons/hicolor/{32x32,64x64,128x128,256x256}/apps/tesqua.png; do
  [ -e "$prefix/$file" ] || { echo "FAIL: $file not installed" >&2; exit 1; }
done
[ -x "$prefix/bin/tesqua" ] || { echo "FAIL: bin/tesqua is not executable" >&2; exit 1; }
for key in 'Type=Application' 'Exec=tesqua' 'Icon=tesqua' 'Terminal=false'; do
  grep -qx "$key" "$prefix/share/applications/tesqua.desktop" ||
    { echo "FAIL: the desktop file lacks $key" >&2; exit 1; }
done
identify -format '%wx%h' "$prefix/share/icons/hicolor/64x64/apps/tesqua.png" | grep -qx 64x64 ||
  { echo "FAIL: the 64x64 icon is not 64 x 64" >&2; exit 1; }
echo "PASS"
