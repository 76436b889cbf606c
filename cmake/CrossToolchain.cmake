# What every cross toolchain file beside this one has in common. Each of
# them names its target and includes this file:
#   VUZ_CROSS_TRIPLE      Debian's name of the cross compilers and of the
#                         target's sysroot, /usr/<triple>
#   VUZ_CROSS_QEMU        (Linux targets) the qemu-user program that runs the
#                         target's programs on this machine
# and CMAKE_SYSTEM_NAME and CMAKE_SYSTEM_PROCESSOR.
set(VUZ_CROSS_SYSROOT /usr/${VUZ_CROSS_TRIPLE})

set(CMAKE_C_COMPILER ${VUZ_CROSS_TRIPLE}-gcc)
set(CMAKE_CXX_COMPILER ${VUZ_CROSS_TRIPLE}-g++)

# Libraries, headers and packages come from the target's sysroot only, the
# build tools from this machine. A package built for the target elsewhere
# (GoogleTest for a cross-built suite) is named by its <Package>_DIR.
set(CMAKE_FIND_ROOT_PATH ${VUZ_CROSS_SYSROOT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

if(VUZ_CROSS_QEMU)
  # Whatever the build or CTest runs of the target's own programs (test
  # discovery, the suites) runs under qemu-user, which finds the target's
  # dynamic loader and C library under the sysroot.
  set(CMAKE_CROSSCOMPILING_EMULATOR ${VUZ_CROSS_QEMU} -L ${VUZ_CROSS_SYSROOT})
endif()

if(CMAKE_SYSTEM_NAME STREQUAL "Windows")
  set(CMAKE_RC_COMPILER ${VUZ_CROSS_TRIPLE}-windres)
  set(VUZ_WIDL ${VUZ_CROSS_TRIPLE}-widl CACHE FILEPATH "IDL compiler for the type library")
endif()
