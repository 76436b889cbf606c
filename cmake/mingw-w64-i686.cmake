# The 32-bit Windows module, from Debian's MinGW-w64 toolchain:
#   cmake -S . -B build-win32 --toolchain cmake/mingw-w64-i686.cmake
# Its programs run under Wine only where the host has a 32-bit Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)
set(VUZ_CROSS_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/CrossToolchain.cmake)
