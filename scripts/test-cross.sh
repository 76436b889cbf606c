#!/usr/bin/env bash
# Proves the module's bytes on other processors: for every Linux target it
# cross-builds the module and dtmfwave with Debian's cross compilers, writes
# a fixed set of key strings under qemu-user, and holds each file byte for
# byte to the native build's file and to the golden digest that the
# independent reference writer gave (tests/interop/golden.sha256). Then the
# GoogleTest suites that need nothing but the module run under qemu on a
# 32-bit ARM target. Any mismatch, or a target that cannot be built or run,
# fails the script; nothing is skipped.
#
# usage: scripts/test-cross.sh [NATIVE_BUILD_DIR]
#        scripts/test-cross.sh --golden     print golden.sha256 lines for the key strings
#   NATIVE_BUILD_DIR         a native build whose cli/dtmfwave is used, or built
#                            there when missing (default: build-cross/native)
#   VUZ_CROSS_BUILD_DIR      where the cross trees go (default: build-cross)
#   VUZ_CROSS_TARGETS        the targets to check (default: all five below)
#   VUZ_CROSS_SUITE_TARGETS  the targets that also run the suites (default: armhf;
#                            empty: none)
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/deps.sh
# The key strings below are UTF-8, and so are dtmfwave's arguments.
export LC_ALL=C.UTF-8

# One toolchain file each: cmake/linux-<target>.cmake.
targets=(${VUZ_CROSS_TARGETS:-armhf armel aarch64 s390x i686})
# armhf: the 32-bit ARM whose suites fit the time (armel's software floating
# point makes the 5000-key test take two minutes under qemu; its files are
# checked above all the same).
suite_targets=(${VUZ_CROSS_SUITE_TARGETS-armhf})

sixteen='123A456B789C*0#D'
key_strings=(
  "$sixteen"                          # every key
  '1#'
  'a1 b#-c9x'                         # silent ASCII between keys
  $'9\xc3\xa9*\xe2\x82\xac\xc3\xbf5D'    # 9 é * € ÿ 5 D: narrow bytes 0xE9 0x80 0xFF, negative as
                                      # signed char, positive where char is unsigned (ARM, s390x)
  $'\xc5\x81\xe4\xb8\xad#'            # Ł 中 #: outside Windows-1252, so '?'
  $'1\xf0\x9f\x98\x80#'               # 1 U+1F600 #: a surrogate pair, two silent slots
  ''                                  # no slots, the bare header
  "${sixteen}${sixteen}${sixteen}${sixteen}${sixteen}${sixteen}${sixteen}x9"  # 114 keys, past the first
                                      # platform's 100-byte working copy
)
golden=tests/interop/golden.sha256

if [ "${1:-}" = "--golden" ]; then
  exec /usr/bin/python3 tests/interop/reference_wave.py --sha256 "${key_strings[@]}"
fi

native_build=$(realpath -m "${1:-build-cross/native}")
cross_root=$(realpath -m "${VUZ_CROSS_BUILD_DIR:-build-cross}")
jobs=$(nproc)
started=$SECONDS

toolchain_value() { # TARGET VARIABLE: the value the target's toolchain file sets
  sed -n "s/^set($2 \(.*\))\$/\1/p" "cmake/linux-$1.cmake"
}

packages=(cmake make g++ python3 qemu-user googletest)
for target in "${targets[@]}" "${suite_targets[@]}"; do
  [ -f "cmake/linux-$target.cmake" ] || { echo "error: no toolchain file cmake/linux-$target.cmake" >&2; exit 1; }
  packages+=("g++-$(toolchain_value "$target" VUZ_CROSS_TRIPLE)")
done
vuz_install_packages "${packages[@]}"

if [ ! -x "$native_build/cli/dtmfwave" ]; then
  cmake -S . -B "$native_build" -DBUILD_TESTING=OFF >/dev/null
  cmake --build "$native_build" -j"$jobs" >/dev/null
fi

# The expected digest of each key string, in order; a key string without a
# golden line fails rather than going unchecked.
mapfile -t golden_digests < <(/usr/bin/python3 - "$golden" "${key_strings[@]}" <<'EOF'
import json, sys
digests = {}
with open(sys.argv[1], encoding="utf-8") as lines:
    for line in lines:
        if line.strip() and not line.startswith("#"):
            digest, keys = line.rstrip("\n").split(" ", 1)
            digests[json.loads(keys)] = digest
for keys in sys.argv[2:]:
    print(digests.get(keys, "none"))
EOF
)
[ ${#golden_digests[@]} -eq ${#key_strings[@]} ] || { echo "error: could not read $golden" >&2; exit 1; }

native_files=$cross_root/native-files
rm -rf "$native_files" && mkdir -p "$native_files"
for i in "${!key_strings[@]}"; do
  "$native_build/cli/dtmfwave" -q -- "${key_strings[$i]}" "$native_files/$i.wav"
done

failures=()
passed=0
fail() { failures+=("$1"); echo "FAIL: $1" >&2; }

for target in "${targets[@]}"; do
  target_started=$SECONDS
  tree=$cross_root/$target
  qemu=$(toolchain_value "$target" VUZ_CROSS_QEMU)
  sysroot=/usr/$(toolchain_value "$target" VUZ_CROSS_TRIPLE)
  echo "== $target: building with cmake/linux-$target.cmake"
  if ! cmake -S . -B "$tree" --toolchain "$PWD/cmake/linux-$target.cmake" -DBUILD_TESTING=OFF >"$tree.log" 2>&1 \
     || ! cmake --build "$tree" -j"$jobs" >>"$tree.log" 2>&1; then
    cat "$tree.log" >&2
    fail "$target: the cross build failed"
    continue
  fi
  rm -rf "$tree/files" && mkdir -p "$tree/files"
  for i in "${!key_strings[@]}"; do
    keys=${key_strings[$i]}
    file=$tree/files/$i.wav
    label="$target: $(printf '%q' "$keys" | cut -c1-40)"
    if ! error=$("$qemu" -L "$sysroot" "$tree/cli/dtmfwave" -q -- "$keys" "$file" 2>&1); then
      fail "$label: dtmfwave under $qemu failed: $error"
      continue
    fi
    digest=$(sha256sum "$file" | cut -d' ' -f1)
    if ! cmp -s "$file" "$native_files/$i.wav"; then
      fail "$label: differs from the native build's file ($(cmp "$file" "$native_files/$i.wav" 2>&1 | head -n1))"
    elif [ "$digest" != "${golden_digests[$i]}" ]; then
      fail "$label: sha256 $digest, golden ${golden_digests[$i]}"
    else
      passed=$((passed + 1))
    fi
  done
  echo "   ${#key_strings[@]} files written under $qemu -L $sysroot in $((SECONDS - target_started)) s"
done

# The suites under qemu. GoogleTest is built for the target from Debian's
# sources once per tree.
for target in "${suite_targets[@]}"; do
  suite_started=$SECONDS
  gtest=$cross_root/$target-googletest
  suite=$cross_root/$target-suite
  toolchain=$PWD/cmake/linux-$target.cmake
  echo "== $target: the GoogleTest suites under $(toolchain_value "$target" VUZ_CROSS_QEMU)"
  if [ ! -f "$gtest/prefix/lib/cmake/GTest/GTestConfig.cmake" ]; then
    if ! { cmake -S /usr/src/googletest -B "$gtest" --toolchain "$toolchain" -DBUILD_GMOCK=OFF \
             -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX="$gtest/prefix" \
           && cmake --build "$gtest" -j"$jobs" && cmake --install "$gtest"; } >"$gtest.log" 2>&1; then
      cat "$gtest.log" >&2
      fail "$target: GoogleTest could not be cross-built"
      continue
    fi
  fi
  if ! { cmake -S . -B "$suite" --toolchain "$toolchain" -DBUILD_TESTING=ON \
           -DGTest_DIR="$gtest/prefix/lib/cmake/GTest" && cmake --build "$suite" -j"$jobs"; } >"$suite.log" 2>&1; then
    cat "$suite.log" >&2
    fail "$target: the suites could not be cross-built"
    continue
  fi
  # The one test whose oracle is glibc's iconv cannot run: Debian's cross C
  # libraries ship no gconv modules. Named here so that it is never counted.
  echo "   not run under qemu: unit.NarrowConversion.EveryUnitMatchesAnIndependentWindows1252Table" \
       "(the cross C library has no iconv modules; the native suite runs it)"
  if ctest --test-dir "$suite" -j"$jobs" --output-on-failure \
       -E '^unit\.NarrowConversion\.EveryUnitMatchesAnIndependentWindows1252Table$' >"$suite-ctest.log" 2>&1; then
    tail -n 3 "$suite-ctest.log" | sed 's/^/   /'
    passed=$((passed + 1))
  else
    cat "$suite-ctest.log" >&2
    fail "$target: the suites failed under qemu"
  fi
  echo "   $((SECONDS - suite_started)) s"
done

echo "== cross: ${#targets[@]} targets (${targets[*]}) x ${#key_strings[@]} key strings, suites on ${suite_targets[*]:-none}," \
     "$((SECONDS - started)) s"
echo "cross: $passed passed, ${#failures[@]} failed"
for failure in "${failures[@]}"; do
  echo "  $failure"
done
[ ${#failures[@]} -eq 0 ]
