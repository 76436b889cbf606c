#!/usr/bin/env bash
# Builds the Debian packages as a packager would, from a fresh /usr build of
# the tree, reads them with dpkg-deb, runs lintian over them when it is
# there, and unpacks them into a temporary root (never into the system):
# a C program built against that root, and the dtmfwave found there, must
# write the build tree's bytes.
# Usage: debian_packages.sh SOURCE_DIR REFERENCE_DTMFWAVE MULTIARCH
set -euo pipefail
source_dir=$1 reference=$2 multiarch=$3
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
keys='123A456B789C*0#Dx'
status=0
fail() { echo "FAIL: $*"; status=1; }

cmake -S "$source_dir" -B "$work/build" -DCMAKE_INSTALL_PREFIX=/usr -DBUILD_TESTING=OFF >/dev/null
cmake --build "$work/build" -j"$(nproc)" >/dev/null
(cd "$work/build" && cpack -G DEB >/dev/null)
debs=("$work"/build/*.deb)
echo "built: $(cd "$work/build" && echo *.deb)"

field() { dpkg-deb -f "$work/build/$1"_*.deb "$2"; }
listing() { dpkg-deb -c "$work/build/$1"_*.deb | awk '{print $6}'; }
lib=./usr/lib/$multiarch
runtime_files=$(listing libvuzirizoruza1)
dev_files=$(listing libvuzirizoruza-dev)
tool_files=$(listing dtmfwave)
for file in "$lib/libVuzirizORURUZA.so.1" "$lib/libVuzClassLibrary.so.1"; do
  grep -qx "$file" <<<"$runtime_files" || fail "libvuzirizoruza1 lacks $file"
done
for file in "$lib/libVuzirizORURUZA.so" ./usr/include/DTMFWave.h "$lib/pkgconfig/VuzirizORURUZA.pc" \
            "$lib/cmake/VuzirizORURUZA/VuzirizORURUZAConfig.cmake"; do
  grep -qx "$file" <<<"$dev_files" || fail "libvuzirizoruza-dev lacks $file"
done
for file in ./usr/bin/dtmfwave ./usr/share/man/man1/dtmfwave.1.gz ./usr/share/bash-completion/completions/dtmfwave; do
  grep -qx "$file" <<<"$tool_files" || fail "dtmfwave lacks $file"
done
for package in libvuzirizoruza1 libvuzirizoruza-dev dtmfwave; do
  for file in copyright changelog.Debian.gz; do
    listing $package | grep -qx "./usr/share/doc/$package/$file" || fail "$package lacks its $file"
  done
done
# Only the runtime package holds the libraries themselves; the others name it.
if grep -q '\.so\.' <<<"$dev_files$tool_files"; then fail "a versioned library outside libvuzirizoruza1"; fi
version=$(field libvuzirizoruza1 Version)
for package in libvuzirizoruza-dev dtmfwave; do
  field $package Depends | grep -qF "libvuzirizoruza1 (= $version)" || fail "$package does not depend on libvuzirizoruza1 $version"
done
# dpkg-shlibdeps found the C library behind the host and the module.
field dtmfwave Depends | grep -q 'libc6 (>=' || fail "dtmfwave's dependencies were not read from its binary"
field libvuzirizoruza1 Depends | grep -q 'libc6 (>=' || fail "the library's dependencies were not read from it"
shlibs=$(dpkg-deb --ctrl-tarfile "$work"/build/libvuzirizoruza1_*.deb | tar -xO ./shlibs)
grep -q '^libVuzirizORURUZA 1 libvuzirizoruza1' <<<"$shlibs" || fail "no shlibs entry for the module's soname"
grep -q '^libVuzClassLibrary 1 libvuzirizoruza1' <<<"$shlibs" || fail "no shlibs entry for the class library's soname"

if command -v lintian >/dev/null; then
  # Warnings are reported; errors fail the test.
  lintian --fail-on error "${debs[@]}" 2>/dev/null || fail "lintian reports errors"
else
  echo "note: lintian is not installed; skipped"
fi

root=$work/root
for deb in "${debs[@]}"; do dpkg-deb -x "$deb" "$root"; done
"$reference" -q "$keys" "$work/reference.wav"
export LD_LIBRARY_PATH=$root/usr/lib/$multiarch
"$root/usr/bin/dtmfwave" -q "$keys" "$work/packaged-host.wav"
cmake -S "$here" -B "$work/consumer" -DCMAKE_PREFIX_PATH="$root/usr" >/dev/null
cmake --build "$work/consumer" >/dev/null
"$work/consumer/consumer" "$keys" "$work/find_package.wav"
flags=$(PKG_CONFIG_PATH=$root/usr/lib/$multiarch/pkgconfig pkg-config --cflags --libs VuzirizORURUZA)
# shellcheck disable=SC2086
cc -std=c11 -o "$work/pkg-config-c" "$here/consumer.c" $flags -Wl,-rpath-link,"$LD_LIBRARY_PATH"
"$work/pkg-config-c" "$keys" "$work/pkg-config.wav"
for output in packaged-host find_package pkg-config; do
  cmp -s "$work/reference.wav" "$work/$output.wav" && echo "ok: $output" || fail "$output differs from the build tree's output"
done
exit $status
