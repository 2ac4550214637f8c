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

# Batch mode (its cases are unit tests): here only the real binary's terminal handling.
mkdir -p folder && printf 'A:=zig(C,5);\r\n' > folder/a.txt
printf '$ZIG\r\nDVOL\r\n' > lib.ini
"$TESQUA_SCAN" --version >out 2>err; status=$?
grep -q '^tesqua-scan [0-9]' out && [ $status -eq 0 ] && echo "ok   --version" || { echo "FAIL --version"; failures=$((failures + 1)); }
"$TESQUA_SCAN" --help >out 2>err; status=$?
grep -q -- '--files-with-hits' out && [ $status -eq 0 ] && echo "ok   --help" || { echo "FAIL --help"; failures=$((failures + 1)); }
# Without a terminal on standard error there is no progress indicator, however long it takes.
for i in $(seq 1 200); do printf 'X:=%d;\r\n' "$i" > "folder/f$i.txt"; done
"$TESQUA_SCAN" --library lib.ini -r folder >out 2>err; status=$?
[ ! -s err ] && [ $status -eq 1 ] && echo "ok   no progress without a terminal" || { echo "FAIL stderr: $(head -c 200 err)"; failures=$((failures + 1)); }
# Inputs that cannot seek, larger than one read: a GBK formula whose first bytes are also valid
# UTF-8 ("函未" in UTF-8 is GBK too), so it is read again, from a spool file that then goes.
printf '$ZIG\r\n\xcd\xa8\r\nDVOL\r\n' > gbk.ini
{ printf '\xe5\x87\xbd\xe6\x9c\xaa'; head -c 70000 /dev/zero | tr '\0' x; printf '\r\nX:=\xc1\xf7\xcd\xa8\xb9\xc9;'; } > late.txt
mkdir spool
TMPDIR=$PWD/spool "$TESQUA_SCAN" --library gbk.ini <(cat late.txt) >out 2>err; status=$?
check "a GBK pipe that looked like UTF-8 at first" 1 '\r\n注意：发现未来函数通！\n' $status out
cat late.txt | TMPDIR=$PWD/spool "$TESQUA_SCAN" --library gbk.ini --json - >out 2>err; status=$?
check "the same on standard input" 1 '{"path":"-","encoding":"ansi","hits":[{"entry":"通","name":"通","line":2,"column":5}]}\n{"summary":{"scanned":1,"with_hits":1,"unreadable":0,"skipped":0}}\n' $status out
[ -z "$(ls -A spool)" ] && echo "ok   no spool file left" || { echo "FAIL spool left: $(ls spool)"; failures=$((failures + 1)); }
# Without a folder for the spool, only an input that must be read again fails, and says why.
cat late.txt | TMPDIR=$PWD/missing "$TESQUA_SCAN" --library gbk.ini >out 2>err; status=$?
check "no folder for the spool file" 2 '' $status out
grep -q 'standard input: .*temporary file' err || { echo "FAIL spool error: $(cat err)"; failures=$((failures + 1)); }
tail -c +7 late.txt | TMPDIR=$PWD/missing "$TESQUA_SCAN" --library gbk.ini >out 2>err; status=$?
check "no folder for the spool file, and no need of it" 1 '\r\n注意：发现未来函数通！\n' $status out
[ $failures -eq 0 ]
