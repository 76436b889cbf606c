# 32-bit ARM with floating point in software (ARMv5TE), as on the
# module's first processor, from Debian's g++-arm-linux-gnueabi:
#   cmake -S . -B build-cross/armel --toolchain cmake/linux-armel.cmake
# Programs the build or CTest runs go through qemu-arm.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR arm)
set(VUZ_CROSS_TRIPLE arm-linux-gnueabi)
set(VUZ_CROSS_QEMU qemu-arm)
include(${CMAKE_CURRENT_LIST_DIR}/CrossToolchain.cmake)
