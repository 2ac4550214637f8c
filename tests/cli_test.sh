#!/usr/bin/env bash
# tesqua-scan as a user runs it: in a fresh directory, on the example formulas, through pipes.
set -u
examples=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
failures=0
ok() {  # name, then a condition
  if eval "$2"; then echo "ok   $1"; else echo "FAIL $1: $(head -c 300 out) $(head -c 300 err)"; failures=$((failures + 1)); fi
}
check() {  # name, expected status, expected standard output (printf format), then the command
  local name=$1 status=$2 want got
  want=$(printf "$3"; printf x)
  shift 3
  "$@" >out 2>err
  got=$?
  ok "$name" '[ $got -eq $status ] && [ "$want" = "$(cat out; printf x)" ]'
}
scan() { "$TESQUA_SCAN" "$@"; }
check "GBK formula with hits" 1 '\r\n注意：发现未来函数ZIG！\r\n注意：发现未来函数PEAK！\r\n注意：发现未来函数DVOL！\n' \
  scan "$examples/zig_peak.txt"
ok "--version" 'scan --version | grep -q "^tesqua-scan [0-9]"'
ok "--help" 'scan --help | grep -q -- --files-with-hits'
# Without a terminal on standard error there is no progress line, however long the scan takes.
check "no progress without a terminal" 1 '{"path":"-","encoding":"utf-8","hits":[{"entry":"DVOL","name":"DVOL","line":1,"column":1}]}\n{"summary":{"scanned":1,"with_hits":1,"unreadable":0,"skipped":0}}\n' \
  sh -c '{ printf DVOL; sleep 1; } | "$TESQUA_SCAN" --json -'
ok "no progress without a terminal: nothing on standard error" '[ ! -s err ]'
# At a terminal with no path named: a word on where the formula is read, then the verdict of
# what is typed there (Ctrl+D ends it). The terminal's echo of the typing may land inside the
# word, so its parts are looked for apart.
printf 'DVOL\r\n' >dvol.ini
printf "A:=DVOL;\n\004" | timeout 10 script -qec "\"$TESQUA_SCAN\" --library dvol.ini" /dev/null |
  tr -d "\r" >tty
ok "at a terminal, standard input announced" 'grep -q "reading the formula from standard input" tty &&
  grep -q "Ctrl+D)" tty && grep -q "发现未来函数DVOL" tty'
# A folder too deep for its path to be named (past the system's limit) is not taken for an
# empty one: it could not be read, and that is said.
long=$(printf 'a%.0s' {1..200})
(mkdir deep && cd deep && for i in $(seq 25); do mkdir "$long" && cd "$long"; done)
check "a folder that cannot be listed" 2 \
  '0 files scanned, 0 with hits, 1 could not be read, 0 could not be checked (binary or encrypted)\n' \
  scan -r deep
ok "a folder that cannot be listed: why" 'grep -q "cannot list the folder: File name too long" err'
# Inputs that cannot seek, larger than one read: a GBK formula whose first bytes are also valid
# UTF-8 ("函未" in UTF-8 is GBK too), so it is read again, from a spool file that then goes;
# the key at its very start too.
printf '$ZIG\r\n\xcd\xa8\r\nDVOL\r\n' >gbk.ini
{ printf 'DVOL \xe5\x87\xbd\xe6\x9c\xaa'; head -c 70000 /dev/zero | tr '\0' x; printf '\r\nX:=\xc1\xf7\xcd\xa8\xb9\xc9;'; } >late.txt
mkdir spool
export TMPDIR=$PWD/spool
check "a GBK pipe that looked like UTF-8 at first" 1 '\r\n注意：发现未来函数通！\r\n注意：发现未来函数DVOL！\n' \
  bash -c '"$TESQUA_SCAN" --library gbk.ini <(cat late.txt)'
check "the same on standard input" 1 '{"path":"-","encoding":"ansi","hits":[{"entry":"通","name":"通","line":2,"column":5},{"entry":"DVOL","name":"DVOL","line":1,"column":1}]}\n{"summary":{"scanned":1,"with_hits":1,"unreadable":0,"skipped":0}}\n' \
  sh -c 'cat late.txt | "$TESQUA_SCAN" --library gbk.ini --json -'
ok "no spool file left" '[ -z "$(ls -A spool)" ]'
# Without a folder for the spool, only an input that must be read again fails, and says why.
export TMPDIR=$PWD/missing
check "no folder for the spool file" 2 '' sh -c 'cat late.txt | "$TESQUA_SCAN" --library gbk.ini'
ok "no folder for the spool file: why" 'grep -q "standard input: .*temporary file" err'
check "no folder for the spool file, and no need of it" 1 '\r\n注意：发现未来函数通！\n' \
  sh -c 'tail -c +12 late.txt | "$TESQUA_SCAN" --library gbk.ini'
# A large file is read a window at a time: the pages read are given back as the scan goes on.
{ printf 'ZIG('; head -c 64M /dev/zero | tr '\0' x; } >large.txt
ok "a 64 MB file in bounded memory" \
  '[ "$(/usr/bin/time -f %M "$TESQUA_SCAN" --library dvol.ini large.txt 2>&1 >/dev/null)" -lt 32768 ]'
rm large.txt
# A refused write ends the run at once with the system's reason and status 2, never "found",
# whatever the form of the output (a binary file alone: the summary only); a reader that has
# gone with SIGPIPE ignored too: the output, larger than a pipe holds, stops at the first
# refused write, and the last file's note (it is binary) never comes.
mkdir many
for i in $(seq 800); do printf 'ZIG(' >"many/$(printf %0100d "$i").txt"; done
printf '\0' >many/z.txt
for form in "$examples/zig_peak.txt" "-r $examples" "-rl $examples" "--json -r $examples" "-r many/z.txt" --help; do
  check "write error: $form" 2 '' sh -c "\"\$TESQUA_SCAN\" $form >/dev/full"
  ok "write error: $form: why" '[ "$(tail -n 1 err)" = "tesqua-scan: write error: No space left on device" ]'
done
# Each file's descriptor goes back once it is read: far more files than a process may hold open.
ok "more files than open descriptors" '(ulimit -n 32; scan -r many 2>err) | tail -n 1 |
  grep -qx "800 files scanned, 800 with hits, 0 could not be read, 1 could not be checked (binary or encrypted)"'
check "write error: a reader that has gone" 2 '' bash -c 'trap "" PIPE; "$TESQUA_SCAN" -r many | true; exit ${PIPESTATUS[0]}'
ok "write error: a reader that has gone: why" '[ "$(cat err)" = "tesqua-scan: write error: Broken pipe" ]'
[ $failures -eq 0 ]
