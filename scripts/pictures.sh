#!/usr/bin/env bash
# Draws the README's pictures of the output for the keys "1#": a spectrogram
# (sox) and a waveform (matplotlib), into docs/images/.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/deps.sh
vuz_install_packages cmake make g++ sox python3-matplotlib

cmake -S . -B build -DBUILD_TESTING=OFF >/dev/null
cmake --build build --target dtmfwave -j"$(nproc)" >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
build/cli/dtmfwave '1#' "$work/1hash.wav"

sox "$work/1hash.wav" -n spectrogram -x 800 -y 257 -z 80 \
  -t 'dtmfwave "1#": 697+1209 Hz, then 941+1477 Hz' -c 'VuzirizORURUZA' \
  -o docs/images/spectrogram-1hash.png
/usr/bin/python3 scripts/waveform.py "$work/1hash.wav" docs/images/waveform-1hash.png
echo "Wrote docs/images/spectrogram-1hash.png and docs/images/waveform-1hash.png"
