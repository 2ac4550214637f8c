#!/usr/bin/env bash
# cmake --install lays the program out as a Linux desktop expects. Usage: install_test.sh BUILD_DIR
set -euo pipefail
trap 'echo "FAIL: line $LINENO: $BASH_COMMAND" >&2' ERR
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$1" --prefix "$prefix" >/dev/null
cd "$prefix"
test -x bin/tesqua -a -x bin/tesqua-scan
for size in 32 48 64 128 256; do
  test "$(identify -format %wx%h "share/icons/hicolor/${size}x$size/apps/tesqua.png")" = "${size}x$size"
done
test "$(grep -cxE 'Type=Application|Exec=tesqua|Icon=tesqua|Terminal=false' \
  share/applications/tesqua.desktop)" = 4
