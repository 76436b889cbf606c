#!/usr/bin/env bash
# Installs the build tree into a fresh prefix, then uses the installed module
# every way a user can - find_package and pkg-config under both names of the
# package, the C++ companion header, the manual page's example program and
# the installed dtmfwave - and checks that every way writes the same file as
# the build tree's host, and that the header's version is the package's.
# Usage: run_consumers.sh BUILD_DIR REFERENCE_DTMFWAVE
set -euo pipefail
build=$1
reference=$2
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
keys='123A456B789C*0#Dx'
# Letters Windows-1252 holds, and a path that is not ASCII: the companion
# header's UTF-8 decoding decides both.
utf8_keys='123A456B789C*0#Déx€'
status=0
fail() { echo "FAIL: $*"; status=1; }

cmake --install "$build" --prefix "$prefix" >/dev/null
"$reference" -q "$keys" "$work/reference.wav"
"$reference" -q "$utf8_keys" "$work/reference-utf8.wav"
"$reference" -q '555*0#' "$work/reference-call.wav"

for file in include/vuzirizoruza/DTMFWave.h include/vuzirizoruza/DTMFWave.hpp share/man/man1/dtmfwave.1.gz \
            share/man/man3/DTMFWaveCreate.3.gz share/bash-completion/completions/dtmfwave \
            share/doc/VuzirizORURUZA/LICENSE; do
  [ -f "$prefix/$file" ] || fail "the install lacks $file"
done
[ ! -e "$prefix/include/DTMFWave.h" ] || fail "the header is installed outside its folder"
# The Python binding belongs to its Debian package and to pip.
[ -z "$(find "$prefix" -name '*.py')" ] || fail "a plain install holds Python files"

cmake -S "$here" -B "$work/cmake-consumer" -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/cmake-consumer" >/dev/null
"$work/cmake-consumer/consumer" "$keys" "$work/find_package-c.wav"
"$work/cmake-consumer/consumer_cxx" "$utf8_keys" "$work/find_package-cxx-é.wav"
"$work/cmake-consumer/consumer_cxx" --utf16 "$keys" "$work/find_package-cxx-utf16.wav"

pc_dir=$prefix/lib/pkgconfig
libdir=$(PKG_CONFIG_PATH=$pc_dir pkg-config --variable=libdir vuzirizoruza)
version=$(PKG_CONFIG_PATH=$pc_dir pkg-config --modversion vuzirizoruza)
[ "$(PKG_CONFIG_PATH=$pc_dir pkg-config --modversion VuzirizORURUZA)" = "$version" ] \
  || fail "pkg-config VuzirizORURUZA and vuzirizoruza differ in version"
# Each name once, each language once.
# shellcheck disable=SC2046
cc -std=c11 -o "$work/pkg-config-c" "$here/consumer.c" $(PKG_CONFIG_PATH=$pc_dir pkg-config --cflags --libs vuzirizoruza) \
  -Wl,-rpath,"$libdir"
# shellcheck disable=SC2046
c++ -std=c++17 -o "$work/pkg-config-cxx" "$here/consumer.cpp" \
  $(PKG_CONFIG_PATH=$pc_dir pkg-config --cflags --libs VuzirizORURUZA) -Wl,-rpath,"$libdir"
"$work/pkg-config-c" "$keys" "$work/pkg-config-c.wav"
"$work/pkg-config-cxx" "$utf8_keys" "$work/pkg-config-cxx-é.wav"

# The header's macros against the version CMake gave the package.
[ "$("$work/pkg-config-c" --version)" = "$version $version" ] \
  || fail "the header's version macros say '$("$work/pkg-config-c" --version)', the package $version"

# The companion header's failures: the reason in the platform's category,
# the path in the message, and no file.
missing=$work/no/such/folder/out.wav
if "$work/cmake-consumer/consumer_cxx" 1 "$missing" 2>"$work/missing.err"; then
  fail "consumer_cxx wrote into a missing folder"
elif ! grep -q "^consumer_cxx: generic:$(python3 -c 'import errno; print(errno.ENOENT)'): .*$missing" "$work/missing.err"; then
  fail "a missing folder gave: $(cat "$work/missing.err")"
fi
if "$work/cmake-consumer/consumer_cxx" $'1\xff' "$work/not-utf8.wav" 2>"$work/not-utf8.err" \
   || [ -e "$work/not-utf8.wav" ] \
   || ! grep -q "^consumer_cxx: generic:$(python3 -c 'import errno; print(errno.EILSEQ)'):" "$work/not-utf8.err"; then
  fail "keys that are not UTF-8 were not refused with EILSEQ: $(cat "$work/not-utf8.err")"
fi

# The example program of DTMFWaveCreate(3), built with the command the page
# gives, in a folder of its own since it writes call.wav there.
mkdir "$work/example"
gzip -dc "$prefix/share/man/man3/DTMFWaveCreate.3.gz" \
  | sed -n '/^\.SS Program source/,/^\.EE/p' | sed '1,/^\.EX/d;$d' >"$work/example/call.c"
(
  cd "$work/example"
  export PKG_CONFIG_PATH=$pc_dir
  # shellcheck disable=SC2046
  cc -std=c11 -o call call.c $(pkg-config --cflags --libs vuzirizoruza) -Wl,-rpath,"$libdir"
  ./call
) || fail "the manual page's example program did not build or run"

"$prefix/bin/dtmfwave" -q "$keys" "$work/installed-host.wav"

same() {  # same REFERENCE OUTPUT...
  local reference_file=$1 output
  shift
  for output in "$@"; do
    if cmp -s "$work/$reference_file" "$work/$output"; then
      echo "ok: $output"
    else
      fail "$output differs from the build tree's output"
    fi
  done
}
same reference.wav find_package-c.wav find_package-cxx-utf16.wav pkg-config-c.wav installed-host.wav
same reference-utf8.wav find_package-cxx-é.wav pkg-config-cxx-é.wav
same reference-call.wav example/call.wav
exit $status
