#!/usr/bin/env bash
# The tree as another project's subproject, and as a plain build, on what
# looks to CMake like a machine without GoogleTest.
#  - FetchContent from a git clone of the tree, with the subproject's
#    defaults: the parent keeps its own build type and tests, builds the
#    library alone, and its install holds nothing of ours.
#  - add_subdirectory with VUZ_BUILD_HOST and VUZ_INSTALL on: the host is
#    built and installed with the library and its headers.
#  - A plain configure needs no GoogleTest, and asking for the tests without
#    it fails loudly.
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
"$reference" -q "$keys" "$work/reference.wav"

parent() {  # parent NAME CMAKE_ARGUMENTS...: configures, builds and installs a parent
  local name=$1
  shift
  if ! cmake -S "$here/subproject" -B "$work/$name" $no_gtest "$@" >"$work/$name.log" 2>&1 \
     || ! cmake --build "$work/$name" -j"$(nproc)" >>"$work/$name.log" 2>&1 \
     || ! cmake --install "$work/$name" --prefix "$work/$name-prefix" >>"$work/$name.log" 2>&1; then
    cat "$work/$name.log"
    fail "$name: the parent project does not configure, build or install"
    return 1
  fi
  "$work/$name/parent_app" "$keys" "$work/$name.wav"
  "$work/$name/parent_app_cxx" "$keys" "$work/$name-cxx.wav"
}
installed() { (cd "$work/$1-prefix" && find . -type f -o -type l | sort); }

# A clone of the tree as it stands, uncommitted changes included.
mkdir "$work/clone"
tar -C "$source_dir" --exclude='./build*' --exclude=./.git -cf - . | tar -C "$work/clone" -xf -
git -C "$work/clone" init -q
git -C "$work/clone" add -A
git -C "$work/clone" -c user.name=test -c user.email=test@invalid commit -qm snapshot
commit=$(git -C "$work/clone" rev-parse HEAD)

if parent fetched -DVUZ_GIT_REPOSITORY="$work/clone" -DVUZ_GIT_TAG="$commit"; then
  build_type=$(sed -n 's/^CMAKE_BUILD_TYPE:[A-Z]*=//p' "$work/fetched/CMakeCache.txt")
  [ -z "$build_type" ] || fail "the subproject set the parent's build type to '$build_type'"
  tests=$(cd "$work/fetched" && ctest -N | sed -n 's/^Total Tests: //p')
  [ "$tests" = 1 ] || fail "the parent sees $tests tests, not just its own"
  [ -z "$(find "$work/fetched/_deps/vuzirizoruza-build" -name 'dtmfwave*')" ] \
    || fail "the subproject built its host or its manual page by default"
  [ "$(installed fetched)" = "./bin/parent_app" ] \
    || fail "the parent's install holds more than its own program: $(installed fetched | tr '\n' ' ')"
fi

if parent added -DVUZ_SOURCE_DIR="$source_dir" -DVUZ_BUILD_HOST=ON -DVUZ_INSTALL=ON; then
  "$work/added/vuzirizoruza/cli/dtmfwave" -q "$keys" "$work/added-host.wav"
  for file in ./bin/dtmfwave ./include/vuzirizoruza/DTMFWave.h ./lib/libVuzirizORURUZA.so.1; do
    grep -qx "$file" <<<"$(installed added)" || fail "with VUZ_INSTALL=ON the parent's install lacks $file"
  done
fi

for output in fetched fetched-cxx added added-cxx added-host; do
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
