# 32-bit x86 with the x87 floating-point unit (no SSE2 by default),
# from Debian's g++-i686-linux-gnu:
#   cmake -S . -B build-cross/i686 --toolchain cmake/linux-i686.cmake
# Programs the build or CTest runs go through qemu-i386.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(VUZ_CROSS_TRIPLE i686-linux-gnu)
set(VUZ_CROSS_QEMU qemu-i386)
include(${CMAKE_CURRENT_LIST_DIR}/CrossToolchain.cmake)
