#!/usr/bin/env bash
# Cross-builds the Windows DLL with MinGW-w64 and runs its tests under Wine:
# a Windows host loads the DLL, its files are compared byte for byte with
# those of the Linux build, and pefile reads the DLL itself.
#
# usage: scripts/test-windows.sh [LINUX_BUILD_DIR]
#   LINUX_BUILD_DIR  a built Linux tree (default: build); its cli/dtmfwave
#                    writes the reference files
#   VUZ_WINDOWS_BUILD_DIR  the Windows tree (default: build-win)
#
# Without the cross toolchain or Wine, and unable to install them, the tests
# are skipped with a notice; under CI (CI=true) that is a failure instead.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/deps.sh

linux_build=$(realpath -m "${1:-build}")
windows_build=${VUZ_WINDOWS_BUILD_DIR:-build-win}
jobs=$(nproc)

wine_program() {
  command -v /usr/lib/wine/wine64 || command -v wine64 || command -v wine
}

tools_present() {
  command -v x86_64-w64-mingw32-g++ >/dev/null && command -v x86_64-w64-mingw32-windres >/dev/null \
    && command -v x86_64-w64-mingw32-widl >/dev/null && wine_program >/dev/null \
    && /usr/bin/python3 -c 'import pefile' 2>/dev/null
}

if ! tools_present; then
  vuz_install_packages g++-mingw-w64-x86-64 mingw-w64-tools wine64 python3-pefile || true
fi
if ! tools_present; then
  if [ "${CI:-}" = "true" ]; then
    echo "error: the MinGW-w64 cross toolchain, Wine or python3-pefile is missing; CI must run the Windows tests" >&2
    exit 1
  fi
  echo "=================================================================="
  echo " SKIPPED: Windows DLL tests. The MinGW-w64 cross toolchain, Wine"
  echo " or python3-pefile could not be installed on this machine."
  echo "=================================================================="
  exit 0
fi

if [ ! -x "$linux_build/cli/dtmfwave" ]; then
  echo "error: $linux_build/cli/dtmfwave is missing: build the Linux tree first" >&2
  exit 1
fi

cmake -S . -B "$windows_build" --toolchain "$PWD/cmake/mingw-w64-x86_64.cmake" \
  -DBUILD_TESTING=ON -DVUZ_LINUX_BUILD_DIR="$linux_build"
cmake --build "$windows_build" -j"$jobs"
ctest --test-dir "$windows_build" --output-on-failure -j"$jobs" -R '^windows\.'
