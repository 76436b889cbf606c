# The 64-bit Windows module, from Debian's MinGW-w64 toolchain:
#   cmake -S . -B build-win --toolchain cmake/mingw-w64-x86_64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(VUZ_CROSS_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/CrossToolchain.cmake)
