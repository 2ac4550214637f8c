#!/usr/bin/env bash
# code.ini created by tesqua-scan as users start it: several at once in a fresh folder, and
# stopped half-way by a file-size limit.
set -u
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
printf '%s\r\n' '$ZIG' '$PEAK' '$PEAKBARS' '$TROUGH' '$TROUGHBARS' '$FLATZIG' '$FLATZIGA' \
  '$PEAKA' '$PEAKBARSA' '$TROUGHA' '$ZIGA' '$FFT' '$BACKSET' '$WINNER' '$LWINNER' '$COST' \
  '$DYNAINFO' '$FINANCE' '$DRAWLINE' '#YEAR' '#MONTH' '#WEEK' CAPITAL DCLOSE DOPEN DLOW DVOL >defaults
printf '\r\n注意：发现未来函数DVOL！\n' >verdict  # DVOL is the library's last entry
failures=0
fail() { echo "FAIL $*"; failures=$((failures + 1)); }

# Three at once, many times over: each loads the whole library, whoever writes it.
for round in $(seq 1 200); do
  mkdir "r$round" && cd "r$round"
  for i in 1 2 3; do "$TESQUA_SCAN" <<<'X:=DVOL;' >"../out$i" 2>&1 & done
  wait
  cd ..
  for i in 1 2 3; do cmp -s "out$i" verdict || { fail "round $round: $(head -c 100 "out$i")"; }; done
  cmp -s "r$round/code.ini" defaults || fail "round $round: code.ini bytes"
  [ "$(ls -A "r$round")" = code.ini ] || fail "round $round left $(ls -A "r$round")"
  rm -rf "r$round"
done
[ $failures -eq 0 ] && echo "ok   concurrent starts"

# A file-size limit stops the writing half-way: no file is left, and the defaults are used.
checked=$failures
mkdir limited && cd limited
(trap '' XFSZ; exec prlimit --fsize=100 "$TESQUA_SCAN") <<<'X:=DVOL;' >../out 2>../err
status=$?
cd ..
[ $status -eq 1 ] && cmp -s out verdict || fail "limited: status $status, $(cat out)"
[ "$(cat err)" = "tesqua-scan: cannot write code.ini: File too large; using the built-in defaults" ] ||
  fail "limited: $(cat err)"
[ -z "$(ls -A limited)" ] || fail "limited: left $(ls -A limited)"
[ $failures -eq $checked ] && echo "ok   a creation stopped half-way"
[ $failures -eq 0 ]
