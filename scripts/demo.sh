#!/usr/bin/env bash
# Builds the module and its command-line host, then writes an example file.
# Usage: scripts/demo.sh [KEYS [OUTPUT.wav]]
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/deps.sh
vuz_install_packages cmake make g++

keys=${1:-"123A456B789C*0#D"}
output=${2:-build/example.wav}
cmake -S . -B build -DBUILD_TESTING=OFF >/dev/null
cmake --build build --target dtmfwave -j"$(nproc)"
build/cli/dtmfwave "$keys" "$output"
echo "Wrote $output: $(stat -c %s "$output") bytes, ${#keys} slots of 500 ms at 8000 Hz, 8-bit unsigned PCM, mono."
