#!/usr/bin/env bash
# tesqua-scan as a user runs it: in a fresh directory, on the example formulas.
set -u
examples=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
failures=0
check() {  # name, expected status, expected stdout (printf format), actual status, actual file
  local want
  want=$(printf "$3"; printf x)
  local got
  got=$(cat "$5"; printf x)
  if [ "$2" != "$4" ] || [ "$want" != "$got" ]; then
    echo "FAIL $1: status $4 (want $2), output:"; od -c "$5" | head; failures=$((failures + 1))
  else
    echo "ok   $1"
  fi
}
"$TESQUA_SCAN" "$examples/zig_peak.txt" >out 2>err; status=$?
check "GBK formula with hits" 1 '\r\n注意：发现未来函数ZIG！\r\n注意：发现未来函数PEAK！\r\n注意：发现未来函数DVOL！\n' $status out
"$TESQUA_SCAN" <"$examples/ma_cross.txt" >out 2>err; status=$?
check "UTF-8 formula on standard input" 0 '没有发现未来函数！\n' $status out
cmp -s code.ini <(printf '%s\r\n' '$ZIG' '$PEAK' '$PEAKBARS' '$TROUGH' '$TROUGHBARS' '$FLATZIG' \
  '$FLATZIGA' '$PEAKA' '$PEAKBARSA' '$TROUGHA' '$ZIGA' '$FFT' '$BACKSET' '$WINNER' '$LWINNER' \
  '$COST' '$DYNAINFO' '$FINANCE' '$DRAWLINE' '#YEAR' '#MONTH' '#WEEK' CAPITAL DCLOSE DOPEN DLOW DVOL) \
  && echo "ok   code.ini written byte for byte" || { echo "FAIL code.ini bytes"; failures=$((failures + 1)); }
echo 'DVOL' > code.ini
"$TESQUA_SCAN" "$examples/zig_peak.txt" >out 2>err; status=$?
check "an edited library is used and kept" 1 '\r\n注意：发现未来函数DVOL！\n' $status out
[ "$(cat code.ini)" = DVOL ] || { echo "FAIL code.ini rewritten"; failures=$((failures + 1)); }
"$TESQUA_SCAN" no-such-file.txt >out 2>err; status=$?
check "unreadable file" 2 '' $status out
grep -q no-such-file.txt err || { echo "FAIL message does not name the file"; failures=$((failures + 1)); }
[ $failures -eq 0 ]
