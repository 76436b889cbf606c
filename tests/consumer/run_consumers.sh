#!/usr/bin/env bash
# Installs the build tree into a fresh prefix, then uses the installed module
# three ways - find_package, pkg-config and the installed dtmfwave - and
# checks that every way writes the same file as the build tree's host.
# Usage: run_consumers.sh BUILD_DIR REFERENCE_DTMFWAVE
set -euo pipefail
build=$1
reference=$2
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
keys='123A456B789C*0#Dx'

cmake --install "$build" --prefix "$prefix" >/dev/null
"$reference" -q "$keys" "$work/reference.wav"

cmake -S "$here" -B "$work/cmake-consumer" -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/cmake-consumer" >/dev/null
"$work/cmake-consumer/consumer" "$keys" "$work/find_package-c.wav"
"$work/cmake-consumer/consumer_cxx" "$keys" "$work/find_package-cxx.wav"

pc_dir=$(dirname "$(find "$prefix" -name VuzirizORURUZA.pc)")
flags=$(PKG_CONFIG_PATH=$pc_dir pkg-config --cflags --libs VuzirizORURUZA)
libdir=$(PKG_CONFIG_PATH=$pc_dir pkg-config --variable=libdir VuzirizORURUZA)
# shellcheck disable=SC2086
cc -std=c11 -o "$work/pkg-config-c" "$here/consumer.c" $flags -Wl,-rpath,"$libdir"
# shellcheck disable=SC2086
c++ -std=c++17 -o "$work/pkg-config-cxx" "$here/consumer.cpp" $flags -Wl,-rpath,"$libdir"
"$work/pkg-config-c" "$keys" "$work/pkg-config-c.wav"
"$work/pkg-config-cxx" "$keys" "$work/pkg-config-cxx.wav"

"$prefix/bin/dtmfwave" -q "$keys" "$work/installed-host.wav"
test -f "$prefix/share/man/man1/dtmfwave.1.gz"
test -f "$prefix/share/bash-completion/completions/dtmfwave"
test -f "$prefix/share/doc/VuzirizORURUZA/LICENSE"

status=0
for output in find_package-c find_package-cxx pkg-config-c pkg-config-cxx installed-host; do
  if cmp -s "$work/reference.wav" "$work/$output.wav"; then
    echo "ok: $output"
  else
    echo "FAIL: $output differs from the build tree's output"
    status=1
  fi
done
exit $status
