# 64-bit ARM, whose compiler fuses multiply-adds unless told not to,
# from Debian's g++-aarch64-linux-gnu:
#   cmake -S . -B build-cross/aarch64 --toolchain cmake/linux-aarch64.cmake
# Programs the build or CTest runs go through qemu-aarch64.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(VUZ_CROSS_TRIPLE aarch64-linux-gnu)
set(VUZ_CROSS_QEMU qemu-aarch64)
include(${CMAKE_CURRENT_LIST_DIR}/CrossToolchain.cmake)
