# Debian packages from this tree's own build, split the way Debian splits a
# shared library:
#   libvuzirizoruza1       Runtime: the module and its class library
#   libvuzirizoruza-dev    Development: headers, .so links, CMake package,
#                          pkg-config files, DTMFWaveCreate(3)
#   python3-vuzirizoruza   Python: the binding, for Debian's python3
#   dtmfwave               Tools: the host, its manual page, bash completion
#
#   cmake -S . -B build-deb -DCMAKE_INSTALL_PREFIX=/usr
#   cmake --build build-deb -j
#   (cd build-deb && cpack -G DEB)
#
# The prefix must be /usr: GNUInstallDirs then puts the libraries in the
# multiarch folder (lib/x86_64-linux-gnu), and the host needs no run path.
set(VUZ_DEBIAN_MAINTAINER "The VuzirizORURUZA developers <vuzirizoruza@users.noreply.invalid>"
  CACHE STRING "Maintainer field of the Debian packages")
set(VUZ_DEBIAN_RELEASE 1 CACHE STRING "Debian revision of the packages (the part after the '-')")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vuzirizoruza)
set(CPACK_PACKAGE_VENDOR "The VuzirizORURUZA developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
# Each package has a synopsis of its own below; CPack would otherwise put the
# project's in front of every one of them.
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS ${CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS})
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_BINARY_DIR}/VuzirizORURUZACPackOptions.cmake)
configure_file(${CMAKE_CURRENT_LIST_DIR}/debian/CPackOptions.cmake.in ${CPACK_PROJECT_CONFIG_FILE} @ONLY)

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL Runtime Development Python)
if(VUZ_BUILD_HOST)
  list(APPEND CPACK_COMPONENTS_ALL Tools)
endif()
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE ${VUZ_DEBIAN_RELEASE})
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${VUZ_DEBIAN_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# Dependencies on the C and C++ runtimes come from dpkg-shlibdeps reading
# the binaries; the packages among themselves depend on exactly this build.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The host's own libraries are found in the build tree; what they stand for
# is the Runtime package, named below.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS
  ${PROJECT_BINARY_DIR}/module ${PROJECT_BINARY_DIR}/platform/classlib)
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
set(CPACK_COMPONENT_DEVELOPMENT_DEPENDS Runtime)
set(CPACK_COMPONENT_PYTHON_DEPENDS Runtime)
set(CPACK_COMPONENT_TOOLS_DEPENDS Runtime)

set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME libvuzirizoruza${PROJECT_VERSION_MAJOR})
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
# A shlibs file, so that programs built against the module depend on this
# package, and the ldconfig trigger that a shared library package needs.
# (CPack reads these two for every package; only the Runtime package holds a
# library with a soname.)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA ${CMAKE_CURRENT_LIST_DIR}/debian/triggers)
set(CPACK_DEBIAN_RUNTIME_DESCRIPTION "DTMF tones to 8-bit PCM WAVE files - shared library
VuzirizORURUZA turns a string of telephone-keypad characters into a RIFF
WAVE file of DTMF signalling tones: 8000 Hz, 8-bit unsigned PCM, mono, one
500 ms slot per character. It exports one C function, DTMFWaveCreate.
.
This package holds the module and the class library it registers with.")

set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME libvuzirizoruza-dev)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEVELOPMENT_DESCRIPTION "DTMF tones to 8-bit PCM WAVE files - development files
VuzirizORURUZA turns a string of telephone-keypad characters into a RIFF
WAVE file of DTMF signalling tones: 8000 Hz, 8-bit unsigned PCM, mono, one
500 ms slot per character.
.
This package holds the C header vuzirizoruza/DTMFWave.h, its header-only
C++17 companion DTMFWave.hpp, the link-time library names, a CMake package
(find_package(vuzirizoruza)), a pkg-config file (vuzirizoruza) and the
manual page DTMFWaveCreate(3).")

# The binding, the same files pip installs, where Debian's python3 looks.
# It loads the module of libvuzirizoruza1 by its soname. A plain install
# leaves it out (EXCLUDE_FROM_ALL): elsewhere pip is the way to it.
file(CONFIGURE OUTPUT ${PROJECT_BINARY_DIR}/python/_version.py
  CONTENT "\"\"\"The CMake project version this package was built from.\"\"\"\n\n__version__ = '@PROJECT_VERSION@'\n"
  @ONLY)
set(vuz_python_package ${PROJECT_SOURCE_DIR}/python/vuzirizoruza)
install(FILES ${vuz_python_package}/__init__.py ${vuz_python_package}/__main__.py
  ${vuz_python_package}/py.typed ${PROJECT_BINARY_DIR}/python/_version.py
  DESTINATION lib/python3/dist-packages/vuzirizoruza COMPONENT Python EXCLUDE_FROM_ALL)
set(CPACK_DEBIAN_PYTHON_PACKAGE_NAME python3-vuzirizoruza)
set(CPACK_DEBIAN_PYTHON_PACKAGE_SECTION python)
set(CPACK_DEBIAN_PYTHON_PACKAGE_DEPENDS python3)
# Byte-compiled on installation and cleaned away on removal, as dh_python3
# arranges for Debian's own Python packages.
set(CPACK_DEBIAN_PYTHON_PACKAGE_CONTROL_EXTRA
  ${CMAKE_CURRENT_LIST_DIR}/debian/python/postinst ${CMAKE_CURRENT_LIST_DIR}/debian/python/prerm)
set(CPACK_DEBIAN_PYTHON_DESCRIPTION "DTMF tones to 8-bit PCM WAVE files - Python 3 binding
VuzirizORURUZA turns a string of telephone-keypad characters into a RIFF
WAVE file of DTMF signalling tones: 8000 Hz, 8-bit unsigned PCM, mono, one
500 ms slot per character.
.
This package holds the Python 3 module vuzirizoruza: create(keys, path)
writes a file, and python3 -m vuzirizoruza KEYS OUTPUT.wav does the same
from the command line.")

set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME dtmfwave)
set(CPACK_DEBIAN_TOOLS_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_TOOLS_DESCRIPTION "write DTMF tones of keypad strings to WAVE files
dtmfwave writes the DTMF tones of a key string such as 555*0# to a RIFF
WAVE file (8000 Hz, 8-bit unsigned PCM, mono), or to standard output for
a pipe into sox. Batch mode turns lines of keys and file names into test
sets for IVR and telephony systems.")

# What Debian's policy asks of every package's documentation folder: the
# copyright file, and the Debian and the project's changelogs, compressed.
# They belong to the packages, not to the install components (a plain or a
# component install leaves them out), so cpack adds them to each package's
# staged tree (the names start with CPACK_ to reach cpack).
configure_file(${CMAKE_CURRENT_LIST_DIR}/debian/changelog.in ${PROJECT_BINARY_DIR}/debian/changelog @ONLY)
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/debian/DocumentationAdd.cmake)
set(CPACK_VUZ_DEBIAN_COPYRIGHT ${CMAKE_CURRENT_LIST_DIR}/debian/copyright)
set(CPACK_VUZ_DEBIAN_CHANGELOG ${PROJECT_BINARY_DIR}/debian/changelog)
set(CPACK_VUZ_UPSTREAM_CHANGELOG ${PROJECT_SOURCE_DIR}/CHANGELOG.md)

include(CPack)
