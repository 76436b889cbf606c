#!/usr/bin/env bash
# The command-line host's exit statuses and messages.
# Usage: dtmfwave_cli_test.sh DTMFWAVE VERSION WORKDIR
set -uo pipefail
dtmfwave=$1 version=$2 workdir=$3
rm -rf "$workdir" && mkdir -p "$workdir"
failures=0 checks=0
header_bytes=44 slot_bytes=4000

# run ARGS...: runs the host, keeping its status, stdout and stderr.
run() {
  "$dtmfwave" "$@" >"$workdir/out" 2>"$workdir/err"
  status=$?
}
check() {  # check DESCRIPTION COMMAND...
  checks=$((checks + 1))
  if ! "${@:2}"; then
    failures=$((failures + 1))
    echo "FAIL: $1 (status $status, stdout: $(head -c 300 "$workdir/out"), stderr: $(head -c 300 "$workdir/err"))"
  fi
}
status_is() { [ "$status" -eq "$1" ]; }
stdout_has() { grep -qF -- "$1" "$workdir/out"; }
stderr_has() { grep -qF -- "$1" "$workdir/err"; }
stderr_lines_are() { [ "$(wc -l <"$workdir/err")" -eq "$1" ]; }
size_is() { [ -f "$1" ] && [ "$(stat -c %s "$1")" -eq "$2" ]; }
usage_error() { status_is 2 && stderr_has "usage: dtmfwave" && ! [ -s "$workdir/out" ]; }

run --help
check "--help exits 0 with usage on stdout" eval 'status_is 0 && stdout_has "usage: dtmfwave" && stdout_has "KEYS OUTPUT.wav"'
run --version
check "--version prints the project version" eval '[ "$status" -eq 0 ] && [ "$(cat "$workdir/out")" = "dtmfwave $version" ]'
run -h;  check "-h is --help" eval 'status_is 0 && stdout_has "usage: dtmfwave"'
run -V;  check "-V is --version" eval 'status_is 0 && [ "$(cat "$workdir/out")" = "dtmfwave $version" ]'

run;                                               check "no arguments" eval 'usage_error && stderr_has "missing KEYS and OUTPUT.wav"'
run 123;                                           check "one argument" eval 'usage_error && stderr_has "missing OUTPUT.wav"'
run 1 2 3;                                         check "three arguments: too many, not missing" \
  eval 'usage_error && stderr_has "too many operands" && stderr_has "got 3" && ! stderr_has "missing"'
run --bogus "$workdir/a.wav";                      check "unknown option" usage_error
run -1 "$workdir/a.wav";                           check "keys that look like an option point at --" \
  eval 'usage_error && stderr_has "put -- before KEYS"'
run $'1\xff2' "$workdir/bad.wav";                  check "invalid UTF-8 keys" usage_error
check "invalid UTF-8 keys write no file" eval '! [ -e "$workdir/bad.wav" ]'

run 1A# "$workdir/good.wav"
check "a good call exits 0 quietly" eval 'status_is 0 && ! [ -s "$workdir/err" ]'
check "a good call writes three slots" size_is "$workdir/good.wav" $((header_bytes + 3 * slot_bytes))

run "1aé2" "$workdir/silent.wav"
check "silent characters are named on stderr" eval 'status_is 0 && stderr_has "'"'a'"'" && stderr_has "'"'é'"'" && ! stderr_has "'"'1'"'"'
check "silent characters still take their slots" size_is "$workdir/silent.wav" $((header_bytes + 4 * slot_bytes))

run -- -1 "$workdir/dash.wav"
check "-- lets keys start with a dash" eval 'status_is 0 && size_is "$workdir/dash.wav" $((header_bytes + 2 * slot_bytes))'

missing="$workdir/no such folder/x.wav"
run 1 "$missing"
check "a missing folder fails with one line naming path and reason" \
  eval 'status_is 1 && stderr_lines_are 1 && stderr_has "$missing" && stderr_has "No such file or directory"'

# An argument cannot be long enough to pass the key limit, so a batch line carries it.
max_keys=536870
printf 'old contents' >"$workdir/kept.wav"
{ head -c $((max_keys + 1)) /dev/zero | tr '\0' 1; printf '\t%s\n' "$workdir/kept.wav"; } >"$workdir/too_many.txt"
run --batch "$workdir/too_many.txt"
check "too many keys fail naming the limit" \
  eval 'status_is 1 && stderr_lines_are 1 && stderr_has "kept.wav" && stderr_has "too many keys ($((max_keys + 1)); one file holds at most $max_keys)"'
check "too many keys leave an existing file untouched" eval '[ "$(cat "$workdir/kept.wav")" = "old contents" ]'

printf '1\t%s\n\n2\t%s\n' "$workdir/batch_good.wav" "$missing" | "$dtmfwave" -q --batch - >"$workdir/out" 2>"$workdir/err"
status=$?
check "a failing batch line fails the run and names its line" eval 'status_is 1 && stderr_lines_are 1 && stderr_has "<stdin>:3: cannot write"'
check "the other batch lines are still written" size_is "$workdir/batch_good.wav" $((header_bytes + slot_bytes))

# Editors on Windows start files with a byte-order mark: UTF-8's is no key,
# and a UTF-16 file is refused as a whole rather than line by line.
printf '\xEF\xBB\xBF1\t%s\n' "$workdir/bom.wav" | "$dtmfwave" --batch - >"$workdir/out" 2>"$workdir/err"
status=$?
check "a UTF-8 byte-order mark is no slot" eval 'status_is 0 && ! [ -s "$workdir/err" ] && size_is "$workdir/bom.wav" $((header_bytes + slot_bytes))'
printf '1\t%s\n' "$workdir/utf16.wav" | iconv -f UTF-8 -t UTF-16 | "$dtmfwave" --batch - >"$workdir/out" 2>"$workdir/err"
status=$?
check "a UTF-16 batch is refused, saying so" \
  eval 'status_is 1 && stderr_lines_are 1 && stderr_has "<stdin>:1: the file is UTF-16" && ! [ -e "$workdir/utf16.wav" ]'

run -q "ab" "$workdir/quiet.wav"
check "-q keeps the silent-slot note off stderr" eval 'status_is 0 && ! [ -s "$workdir/err" ]'
run "ab" "$workdir/quiet-after.wav" -q
check "-q after the operands works too" eval 'status_is 0 && ! [ -s "$workdir/err" ] && [ -f "$workdir/quiet-after.wav" ]'
run -- -q "$workdir/dash-q.wav"
check "after -- even -q is KEYS" eval 'status_is 0 && size_is "$workdir/dash-q.wav" $((header_bytes + 2 * slot_bytes))'
# Written on Windows, a batch ends its lines with CR LF; the CR is no part of the name.
printf '1\t%s\r\n' "$workdir/batch_equals.wav" >"$workdir/equals.txt"
run --batch="$workdir/equals.txt"
check "--batch=FILE, with CR LF line ends" eval 'status_is 0 && size_is "$workdir/batch_equals.wav" $((header_bytes + slot_bytes))'

# '-' is standard output: a pipe reader gets exactly the bytes of the file.
(cd "$workdir" && "$dtmfwave" 1A# - >"$workdir/out" 2>"$workdir/err")
status=$?
check "'-' writes the file's bytes to standard output" \
  eval 'status_is 0 && cmp -s "$workdir/out" "$workdir/good.wav" && ! [ -e "$workdir/-" ]'
"$dtmfwave" 1A# - | /usr/bin/python3 -c 'import sys, wave; w = wave.open(sys.stdin.buffer); sys.exit(w.getnframes() != 12000 or w.getframerate() != 8000)'
pipe_status="${PIPESTATUS[*]}"
check "a pipe into Python's wave reads the whole file" eval '[ "$pipe_status" = "0 0" ]'
{ printf 'before'; "$dtmfwave" 1A# -; } >"$workdir/shared.out"
{ printf 'before'; cat "$workdir/good.wav"; } >"$workdir/shared.expected"
check "'-' into a file adds to what the shell already wrote there" cmp -s "$workdir/shared.out" "$workdir/shared.expected"
printf 'before' >"$workdir/appended.out"
"$dtmfwave" 1A# - >>"$workdir/appended.out"
check "'-' into a file opened for appending adds to its end" cmp -s "$workdir/appended.out" "$workdir/shared.expected"
# A socket has no name to reopen: the bytes go down the descriptor itself.
/usr/bin/python3 - "$dtmfwave" "$workdir/socket.out" <<'PYTHON'
import socket, subprocess, sys
ours, theirs = socket.socketpair()
host = subprocess.Popen([sys.argv[1], "1A#", "-"], stdout=theirs)
theirs.close()
received = b"".join(iter(lambda: ours.recv(65536), b""))
open(sys.argv[2], "wb").write(received if host.wait() == 0 else b"")
PYTHON
check "'-' into a socket writes the file's bytes" cmp -s "$workdir/socket.out" "$workdir/good.wav"

# A NUL would end the path early and write some other file.
printf '1\t%s\0x\n2\t%s\n' "$workdir/nul.wav" "$workdir/after-nul.wav" | "$dtmfwave" -q --batch - >"$workdir/out" 2>"$workdir/err"
status=$?
check "a NUL in a batch line fails that line alone" \
  eval 'status_is 1 && stderr_lines_are 1 && stderr_has "<stdin>:1: line holds a NUL byte" && ! [ -e "$workdir/nul.wav" ] && [ -f "$workdir/after-nul.wav" ]'

# Progress on a terminal only: a batch long enough to outlast the first
# update, rewriting one file.
for _ in $(seq 200); do printf '%s\t%s\n' "$(printf '5%.0s' $(seq 400))" "$workdir/progress.wav"; done >"$workdir/long.txt"
run --batch "$workdir/long.txt"
check "no progress when stderr is not a terminal" eval 'status_is 0 && ! [ -s "$workdir/err" ]'
if command -v script >/dev/null; then
  script -qec "$(printf '%q ' "$dtmfwave" --batch "$workdir/long.txt") >/dev/null" /dev/null >"$workdir/tty" 2>&1
  check "progress on a terminal" grep -qE "line [0-9]+, [0-9]+ written, 0 failed" "$workdir/tty"
  check "a batch on a terminal ends with a summary line" \
    eval '[ "$(tr "\r" "\n" <"$workdir/tty" | grep -v "^ *$" | tail -1)" = "dtmfwave: $workdir/long.txt: $(wc -l <"$workdir/long.txt") written, 0 failed" ]'
fi

# A stop signal ends the host at once, part way through a file as well: the
# target is then the old file or the new one byte for byte, and nothing else
# is left in its folder (the only name a killed writer can leave is a whole
# new file, in the instant between its link and the rename), and the status
# is 128 + the signal number.
mkdir -p "$workdir/signals"
"$dtmfwave" -q 1 "$workdir/old.wav"
"$dtmfwave" -q "$(printf '9%.0s' $(seq 20000))" "$workdir/new.wav"
for _ in $(seq 400); do printf '%s\t%s\n' "$(printf '9%.0s' $(seq 20000))" "$workdir/signals/target.wav"; done >"$workdir/signal-batch.txt"
only_target_left() {
  local entry
  for entry in $(ls -A "$workdir/signals"); do
    [ "$entry" = target.wav ] || { [[ "$entry" == .dtmf-*.partial ]] && cmp -s "$workdir/signals/$entry" "$workdir/new.wav"; } || return 1
  done
}
set -m  # job control: a background job keeps SIGINT as a foreground one would
for signal in INT TERM HUP; do
  rm -f "$workdir"/signals/* "$workdir"/signals/.dtmf-*
  cp "$workdir/old.wav" "$workdir/signals/target.wav"
  "$dtmfwave" -q --batch "$workdir/signal-batch.txt" &
  pid=$!
  sleep 0.3
  kill -s "$signal" "$pid"
  wait "$pid"
  status=$?
  check "SIG$signal: status 128+N" status_is $((128 + $(kill -l "$signal")))
  check "SIG$signal: the target is the old file or the new one" \
    eval 'cmp -s "$workdir/signals/target.wav" "$workdir/old.wav" || cmp -s "$workdir/signals/target.wav" "$workdir/new.wav"'
  check "SIG$signal: no stray file beside the target" only_target_left
done
# A reader that stalls does not keep the host from stopping.
mkfifo "$workdir/stall"
sleep 30 <"$workdir/stall" >/dev/null 2>&1 &
reader=$!
"$dtmfwave" -q "$(printf '9%.0s' $(seq 100000))" - >"$workdir/stall" 2>/dev/null &
pid=$!
sleep 0.3
started=$SECONDS
kill -s TERM "$pid"
wait "$pid"
status=$?
kill "$reader"
wait "$reader" 2>/dev/null
check "SIGTERM stops a host whose reader stalls" eval 'status_is 143 && [ $((SECONDS - started)) -lt 5 ]'
set +m

# Past a file-size limit the write fails with EFBIG instead of SIGXFSZ
# killing the host mid-file: the earlier file stays and nothing is left.
rm -f "$workdir"/signals/.dtmf-*
cp "$workdir/old.wav" "$workdir/signals/target.wav"
(ulimit -f 8; exec "$dtmfwave" -q 12345 "$workdir/signals/target.wav") >"$workdir/out" 2>"$workdir/err"
status=$?
check "a file-size limit fails with the reason" eval 'status_is 1 && stderr_has "File too large"'
check "a file-size limit keeps the earlier file, with nothing beside it" \
  eval 'cmp -s "$workdir/signals/target.wav" "$workdir/old.wav" && [ "$(ls -A "$workdir/signals")" = target.wav ]'

if [ -w /dev/full ]; then
  run 1 /dev/full
  check "a full device fails with its reason" \
    eval 'status_is 1 && stderr_lines_are 1 && stderr_has "/dev/full" && stderr_has "No space left on device"'
fi

echo "$((checks - failures)) passed, $failures failed"
[ "$failures" -eq 0 ]
