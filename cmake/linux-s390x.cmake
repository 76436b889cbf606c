# IBM Z, the big-endian target, from Debian's g++-s390x-linux-gnu:
#   cmake -S . -B build-cross/s390x --toolchain cmake/linux-s390x.cmake
# Programs the build or CTest runs go through qemu-s390x.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR s390x)
set(VUZ_CROSS_TRIPLE s390x-linux-gnu)
set(VUZ_CROSS_QEMU qemu-s390x)
include(${CMAKE_CURRENT_LIST_DIR}/CrossToolchain.cmake)
