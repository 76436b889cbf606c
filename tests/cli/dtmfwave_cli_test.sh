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

run;                                               check "no arguments" usage_error
run 123;                                           check "one argument" usage_error
run 1 "$workdir/a.wav" extra;                      check "three arguments" usage_error
run --bogus "$workdir/a.wav";                      check "unknown option" usage_error
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
check "too many keys fail with the reason" eval 'status_is 1 && stderr_lines_are 1 && stderr_has "kept.wav" && stderr_has "File too large"'
check "too many keys leave an existing file untouched" eval '[ "$(cat "$workdir/kept.wav")" = "old contents" ]'

printf '1\t%s\n\n2\t%s\n' "$workdir/batch_good.wav" "$missing" | "$dtmfwave" -q --batch - >"$workdir/out" 2>"$workdir/err"
status=$?
check "a failing batch line fails the run and names its line" eval 'status_is 1 && stderr_lines_are 1 && stderr_has "<stdin>:3: cannot write"'
check "the other batch lines are still written" size_is "$workdir/batch_good.wav" $((header_bytes + slot_bytes))

run -q "ab" "$workdir/quiet.wav"
check "-q keeps the silent-slot note off stderr" eval 'status_is 0 && ! [ -s "$workdir/err" ]'

if [ -w /dev/full ]; then
  run 1 /dev/full
  check "a full device fails with its reason" \
    eval 'status_is 1 && stderr_lines_are 1 && stderr_has "/dev/full" && stderr_has "No space left on device"'
fi

echo "$((checks - failures)) passed, $failures failed"
[ "$failures" -eq 0 ]
