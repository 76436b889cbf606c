#!/usr/bin/env bash
# The tree as another project's subproject, and as a plain build, on what
# looks to CMake like a machine without GoogleTest: both configure and
# build the library and host; the parent keeps its own build type and
# tests; and asking for the tests without their libraries fails loudly.
# Usage: subproject.sh SOURCE_DIR REFERENCE_DTMFWAVE
set -euo pipefail
source_dir=$1 reference=$2
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
keys='123A456B789C*0#Dx'
status=0
fail() { echo "FAIL: $*"; status=1; }
no_gtest=-DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON

cmake -S "$here/subproject" -B "$work/parent" -DVUZ_SOURCE_DIR="$source_dir" $no_gtest >"$work/parent.log" 2>&1 \
  || { cat "$work/parent.log"; fail "the parent project does not configure"; exit 1; }
build_type=$(sed -n 's/^CMAKE_BUILD_TYPE:[A-Z]*=//p' "$work/parent/CMakeCache.txt")
[ -z "$build_type" ] || fail "the subproject set the parent's build type to '$build_type'"
cmake --build "$work/parent" -j"$(nproc)" --target parent_app dtmfwave >/dev/null
tests=$(cd "$work/parent" && ctest -N | sed -n 's/^Total Tests: //p')
[ "$tests" = 1 ] || fail "the parent sees $tests tests, not just its own"
"$reference" -q "$keys" "$work/reference.wav"
"$work/parent/parent_app" "$keys" "$work/parent.wav"
"$work/parent/vuzirizoruza/cli/dtmfwave" -q "$keys" "$work/parent-host.wav"
for output in parent parent-host; do
  cmp -s "$work/reference.wav" "$work/$output.wav" && echo "ok: $output" || fail "$output differs from the build tree's output"
done

cmake -S "$source_dir" -B "$work/plain" $no_gtest >/dev/null 2>&1 || fail "a plain configure needs GoogleTest"
if cmake -S "$source_dir" -B "$work/tests" -DBUILD_TESTING=ON $no_gtest >"$work/tests.log" 2>&1; then
  fail "-DBUILD_TESTING=ON configured without GoogleTest"
elif ! grep -q GTest "$work/tests.log"; then
  fail "-DBUILD_TESTING=ON failed without naming GoogleTest"
else
  echo "ok: -DBUILD_TESTING=ON without GoogleTest fails and names it"
fi
exit $status
