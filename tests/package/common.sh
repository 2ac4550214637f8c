# Sourced by the package checks: the version being released, and the reporting of each check.
set -uo pipefail
export LC_ALL=C.UTF-8
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
version=$(sed -n 's/^project(Tesqua VERSION \([0-9.]*\).*/\1/p' "$top/CMakeLists.txt")
failures=0
check() {  # what, command...: reported under $kind
  if "${@:2}"; then echo "ok   $kind: $1"; else echo "FAIL $kind: $1"; failures=$((failures + 1)); fi
}
same() { [ "$1" = "$2" ] || { printf 'got  %q\nwant %q\n' "$1" "$2" >&2; return 1; }; }
