#!/usr/bin/env bash
# Cross-builds the Windows DLL with MinGW-w64, for 64-bit and for 32-bit
# Windows, and runs its tests: pefile reads each DLL and its ZIP package;
# under Wine a Windows host loads the DLL and its files are compared byte
# for byte with those of the Linux build.
#
# usage: scripts/test-windows.sh [LINUX_BUILD_DIR]
#   LINUX_BUILD_DIR  a built Linux tree (default: build); its cli/dtmfwave
#                    writes the reference files
#   VUZ_WINDOWS_BUILD_DIR    the 64-bit Windows tree (default: build-win)
#   VUZ_WINDOWS32_BUILD_DIR  the 32-bit Windows tree (default: build-win32)
#   VUZ_WINEPREFIX   the Wine prefix both suites use (default: one under the
#                    64-bit tree; about 700 MB, made when missing)
#
# Only a host with a 32-bit Wine can run 32-bit Windows programs; elsewhere
# the 32-bit suite's Wine tests are named as not run, and the rest of it
# (pefile on the DLL and its ZIP) runs all the same.
#
# Without the cross toolchain or Wine, and unable to install them, the tests
# are skipped with a notice; under CI (CI=true) that is a failure instead.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/deps.sh

linux_build=$(realpath -m "${1:-build}")
windows_build=$(realpath -m "${VUZ_WINDOWS_BUILD_DIR:-build-win}")
windows32_build=$(realpath -m "${VUZ_WINDOWS32_BUILD_DIR:-build-win32}")
wine_prefix=$(realpath -m "${VUZ_WINEPREFIX:-$windows_build/tests/windows/wineprefix}")
jobs=$(nproc)

wine_program() {
  command -v /usr/lib/wine/wine64 || command -v wine64 || command -v wine
}

tools_present() {
  local triple
  for triple in x86_64-w64-mingw32 i686-w64-mingw32; do
    command -v $triple-g++ >/dev/null && command -v $triple-windres >/dev/null \
      && command -v $triple-widl >/dev/null || return 1
  done
  # llvm-dlltool makes the ZIPs' import library for the Microsoft
  # toolchain; clang and lld-link build the consumer that proves it.
  command -v llvm-dlltool-14 >/dev/null && command -v lld-link-14 >/dev/null && command -v clang-14 >/dev/null \
    && wine_program >/dev/null \
    && /usr/bin/python3 -c 'import pefile' 2>/dev/null
}

if ! tools_present; then
  vuz_install_packages g++-mingw-w64-x86-64 g++-mingw-w64-i686 mingw-w64-tools llvm-14 lld-14 clang-14 wine64 \
    python3-pefile || true
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

# Release builds: what the ZIPs ship is what the tests run.
windows_tree() { # BUILD_DIR TOOLCHAIN
  cmake -S . -B "$1" --toolchain "$PWD/cmake/$2.cmake" -DCMAKE_BUILD_TYPE=Release \
    -DBUILD_TESTING=ON -DVUZ_LINUX_BUILD_DIR="$linux_build" -DVUZ_WINEPREFIX="$wine_prefix"
  cmake --build "$1" -j"$jobs"
}

echo "== 64-bit Windows (x64)"
windows_tree "$windows_build" mingw-w64-x86_64
ctest --test-dir "$windows_build" --output-on-failure -j"$jobs" -R '^windows\.'

echo "== 32-bit Windows (x86)"
windows_tree "$windows32_build" mingw-w64-i686
# Can this host's Wine run a 32-bit program at all? Asked of the packaged
# host's own build, in the prefix the 64-bit suite has just made.
if probe=$(timeout 120 "$windows32_build/tests/windows/wine-run.sh" "$windows32_build/bin/dtmfwave.exe" --version 2>&1) \
   && grep -q "$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$windows32_build/CMakeCache.txt")" <<<"$probe"; then
  ctest --test-dir "$windows32_build" --output-on-failure -j"$jobs" -R '^windows\.'
elif [ -x /usr/lib/wine/wine ]; then
  echo "error: this host has a 32-bit Wine, yet the 32-bit dtmfwave.exe did not run: $probe" >&2
  exit 1
else
  ctest --test-dir "$windows32_build" --output-on-failure -j"$jobs" -R '^windows\.' -LE '^wine$'
  not_run=$(ctest --test-dir "$windows32_build" -N -R '^windows\.' -L '^wine$' | sed -n 's/^Total Tests: //p')
  echo "=================================================================="
  echo " NOT RUN: the 32-bit DLL's $not_run tests under Wine. This host's Wine"
  echo " cannot run 32-bit Windows programs (no 32-bit Wine, Debian's wine32)."
  echo " The 32-bit DLL and its ZIP were built and read by pefile only."
  echo " Wine said: $(head -n 2 <<<"$probe" | tr '\n' ' ')"
  echo "=================================================================="
fi
