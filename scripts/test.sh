#!/usr/bin/env bash
# Installs the test prerequisites, builds everything and runs every test:
# the static checks (formatting, clang-tidy, cppcheck); the Linux suite
# with the Debian, pip and subproject consumers; the files and unit suites
# of the other CPUs under qemu-user; both Windows DLLs' suites, with their
# ZIP packages; then the whole suite again under
# AddressSanitizer + UndefinedBehaviorSanitizer and under ThreadSanitizer,
# and each fuzzer for a minute.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/deps.sh
vuz_install_packages cmake make g++ pkg-config libgtest-dev libgmock-dev libbenchmark-dev \
  libsndfile1-dev sndfile-programs multimon-ng sox libspandsp-dev python3 python3-numpy \
  g++-mingw-w64-x86-64 mingw-w64-tools wine64 python3-pefile binutils clang-14 libclang-rt-14-dev \
  llvm-14 lld-14 dpkg-dev file lintian python3-venv git man-db bsdutils acl attr

build=${VUZ_BUILD_DIR:-build}
cmake -S . -B "$build" -DBUILD_TESTING=ON -DCMAKE_EXPORT_COMPILE_COMMANDS=ON
cmake --build "$build" -j"$(nproc)"
scripts/static-checks.sh "$build"
ctest --test-dir "$build" --output-on-failure --no-tests=error -j"$(nproc)"

scripts/test-cross.sh "$build"
scripts/test-windows.sh "$build"
scripts/test-reliability.sh
