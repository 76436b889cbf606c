#!/usr/bin/env bash
# multimon-ng, a DTMF decoder nobody here wrote, must hear all sixteen keys
# of a file written by the host, once each and in order.
# Usage: multimon_hears_keys.sh DTMFWAVE MULTIMON_NG WORKDIR
set -euo pipefail
dtmfwave=$1 multimon=$2 workdir=$3
keys='123A456B789C*0#D'
mkdir -p "$workdir"
"$dtmfwave" "$keys" "$workdir/multimon_sixteen.wav"
# multimon-ng converts through sox, whose warnings go to standard error.
heard=$("$multimon" -q -a DTMF -t wav "$workdir/multimon_sixteen.wav" 2>/dev/null | sed -n 's/^DTMF: //p' | tr -d '\n')
if [ "$heard" != "$keys" ]; then
  echo "FAIL: multimon-ng heard '$heard', expected '$keys'"
  exit 1
fi
echo "multimon-ng heard $keys"
