# 32-bit ARM with hardware floating point (ARMv7-A, VFPv3-D16),
# from Debian's g++-arm-linux-gnueabihf:
#   cmake -S . -B build-cross/armhf --toolchain cmake/linux-armhf.cmake
# Programs the build or CTest runs go through qemu-arm.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR arm)
set(VUZ_CROSS_TRIPLE arm-linux-gnueabihf)
set(VUZ_CROSS_QEMU qemu-arm)
include(${CMAKE_CURRENT_LIST_DIR}/CrossToolchain.cmake)
