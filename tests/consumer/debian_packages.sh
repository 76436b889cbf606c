#!/usr/bin/env bash
# Builds the Debian packages as a packager would, from a fresh /usr build of
# the tree, reads them with dpkg-deb, runs lintian over them when it is
# there, and unpacks them into a temporary root (never into the system):
# a C program built against that root, the dtmfwave found there and the
# Python binding imported from there must write the build tree's bytes.
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
python_files=$(listing python3-vuzirizoruza)
for file in "$lib/libVuzirizORURUZA.so" ./usr/include/vuzirizoruza/DTMFWave.h ./usr/include/vuzirizoruza/DTMFWave.hpp \
            "$lib/pkgconfig/vuzirizoruza.pc" "$lib/pkgconfig/VuzirizORURUZA.pc" \
            "$lib/cmake/VuzirizORURUZA/VuzirizORURUZAConfig.cmake" "$lib/cmake/vuzirizoruza/vuzirizoruza-config.cmake" \
            ./usr/share/man/man3/DTMFWaveCreate.3.gz; do
  grep -qx "$file" <<<"$dev_files" || fail "libvuzirizoruza-dev lacks $file"
done
for file in __init__.py __main__.py _version.py py.typed; do
  grep -qx "./usr/lib/python3/dist-packages/vuzirizoruza/$file" <<<"$python_files" \
    || fail "python3-vuzirizoruza lacks $file"
done
for file in ./usr/bin/dtmfwave ./usr/share/man/man1/dtmfwave.1.gz ./usr/share/bash-completion/completions/dtmfwave; do
  grep -qx "$file" <<<"$tool_files" || fail "dtmfwave lacks $file"
done
for package in libvuzirizoruza1 libvuzirizoruza-dev python3-vuzirizoruza dtmfwave; do
  for file in copyright changelog.Debian.gz changelog.gz; do
    listing $package | grep -qx "./usr/share/doc/$package/$file" || fail "$package lacks its $file"
  done
done
# Only the runtime package holds the libraries themselves; the others name it.
if grep -q '\.so\.' <<<"$dev_files$tool_files$python_files"; then fail "a versioned library outside libvuzirizoruza1"; fi
version=$(field libvuzirizoruza1 Version)
for package in libvuzirizoruza-dev python3-vuzirizoruza dtmfwave; do
  field $package Depends | grep -qF "libvuzirizoruza1 (= $version)" || fail "$package does not depend on libvuzirizoruza1 $version"
done
field python3-vuzirizoruza Depends | grep -qw python3 || fail "python3-vuzirizoruza does not depend on python3"
# Byte-compiled on installation, cleaned away on removal.
python_control=$(dpkg-deb --ctrl-tarfile "$work"/build/python3-vuzirizoruza_*.deb | tar -t)
for script in postinst prerm; do
  grep -qx "./$script" <<<"$python_control" || fail "python3-vuzirizoruza has no $script"
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

# Installed under /usr, the pkg-config file names the system's own folders,
# which pkg-config leaves out; built against the unpacked root, the same
# file is read with that root as its sysroot.
pc_path=$root/usr/lib/$multiarch/pkgconfig
for name in vuzirizoruza VuzirizORURUZA; do
  flags=$(PKG_CONFIG_PATH=$pc_path pkg-config --cflags --libs $name)
  flags=${flags%" "}
  [ "$flags" = "-I/usr/include/vuzirizoruza -lVuzirizORURUZA" ] || fail "pkg-config $name gives '$flags'"
done
flags=$(PKG_CONFIG_SYSROOT_DIR=$root PKG_CONFIG_PATH=$pc_path pkg-config --cflags --libs vuzirizoruza)
# shellcheck disable=SC2086
cc -std=c11 -o "$work/pkg-config-c" "$here/consumer.c" $flags -Wl,-rpath-link,"$LD_LIBRARY_PATH"
"$work/pkg-config-c" "$keys" "$work/pkg-config.wav"

# man finds the dev package's section 3 page.
page=$(MANPATH=$root/usr/share/man man -w 3 DTMFWaveCreate) || page=
[ "$page" = "$root/usr/share/man/man3/DTMFWaveCreate.3.gz" ] || fail "man 3 DTMFWaveCreate finds '$page'"

# The binding as Debian's python3 imports it from the package, loading the
# packaged module by its soname, from an unrelated folder.
mkdir "$work/elsewhere"
(cd "$work/elsewhere" && env -u VUZIRIZORURUZA_LIBRARY PYTHONPATH="$root/usr/lib/python3/dist-packages" \
  PYTHONDONTWRITEBYTECODE=1 /usr/bin/python3 - "$root" "${version%-*}" <<'PY'
import sys
import vuzirizoruza
root, version = sys.argv[1:]
assert vuzirizoruza.__file__.startswith(root), vuzirizoruza.__file__
assert vuzirizoruza.__version__ == version, vuzirizoruza.__version__
vuzirizoruza.load()
with open("/proc/self/maps") as maps:
    modules = {line.split()[-1] for line in maps if "libVuzirizORURUZA" in line}
assert modules and all(module.startswith(root) for module in modules), modules
PY
) || fail "python3 did not import the packaged binding with the packaged module"
(cd "$work/elsewhere" && env -u VUZIRIZORURUZA_LIBRARY PYTHONPATH="$root/usr/lib/python3/dist-packages" \
  PYTHONDONTWRITEBYTECODE=1 /usr/bin/python3 -m vuzirizoruza "$keys" "$work/python3-module.wav") \
  || fail "python3 -m vuzirizoruza failed"
for output in packaged-host find_package pkg-config python3-module; do
  cmp -s "$work/reference.wav" "$work/$output.wav" && echo "ok: $output" || fail "$output differs from the build tree's output"
done
exit $status
