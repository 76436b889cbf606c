#!/usr/bin/env bash
# Usage: fault_seam_check.sh NM MODULE present|absent
# Reads the module's whole symbol table (local symbols included): a normal
# build must carry no trace of the fault seam, a fault-injection build must.
set -euo pipefail
nm_tool=$1 module=$2 expected=$3
symbols=$("$nm_tool" -C "$module")
# Without local symbols the check would prove nothing.
if ! grep -q 'DTMFSequenceWrite' <<<"$symbols"; then
  echo "SKIP: $module carries no local symbols"
  exit 77
fi
seam=$(grep -E 'core::fault(Injected|PlanAdd|PlansReset|CallCount|ShortWriteBytes)|g_fault' <<<"$symbols" || true)
if [[ $expected == absent && -n $seam ]]; then
  echo "FAIL: the fault seam is built into $module:"; echo "$seam"; exit 1
fi
if [[ $expected == present && -z $seam ]]; then
  echo "FAIL: no fault seam in $module although VUZ_FAULT_INJECTION is on"; exit 1
fi
echo "ok: fault seam $expected in $module"
