# Install rules, in three components that mirror how the module is packaged:
#   Runtime      the module and the class library it needs, each with its
#                versioned soname (on Windows: the two DLLs)
#   Development  the header, the unversioned .so links (import libraries on
#                Windows), the CMake package and the pkg-config file
#   Tools        dtmfwave, its manual page and its bash completion
# A plain `cmake --install` installs all three; the Debian packages take one
# each (cmake/PackageDebian.cmake).
include(CMakePackageConfigHelpers)

set(VUZ_CMAKE_PACKAGE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/VuzirizORURUZA)
# Shared libraries need no execute bit to be loaded, and Debian's policy
# asks for none; directories are made readable whatever the umask.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
if(WIN32)
  set(vuz_library_permissions)
else()
  set(vuz_library_permissions PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
endif()

# Only the module is a target consumers link; the class library is in the
# export set because the linker must find it behind the module, under a
# name that says what it is.
install(TARGETS VuzirizORURUZA vuz_classlib
  EXPORT VuzirizORURUZATargets
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT Runtime
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT Runtime NAMELINK_COMPONENT Development
    ${vuz_library_permissions}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT Development)
install(FILES ${PROJECT_SOURCE_DIR}/dtmf/DTMFWave.h
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT Development)
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE
  DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT Runtime)

install(TARGETS dtmfwave RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT Tools)
if(NOT WIN32)
  # man finds a compressed page as readily as a plain one, and Debian wants
  # it compressed; -n keeps the name and time out, so the bytes are stable.
  find_program(VUZ_GZIP gzip)
  if(VUZ_GZIP)
    set(vuz_man_page ${PROJECT_BINARY_DIR}/dtmfwave.1.gz)
    add_custom_command(OUTPUT ${vuz_man_page}
      COMMAND ${VUZ_GZIP} -9nc ${PROJECT_SOURCE_DIR}/docs/dtmfwave.1 > ${vuz_man_page}
      DEPENDS ${PROJECT_SOURCE_DIR}/docs/dtmfwave.1
      VERBATIM)
    add_custom_target(vuz_man_page ALL DEPENDS ${vuz_man_page})
  else()
    set(vuz_man_page ${PROJECT_SOURCE_DIR}/docs/dtmfwave.1)
  endif()
  install(FILES ${vuz_man_page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT Tools)
  install(FILES ${PROJECT_SOURCE_DIR}/cli/dtmfwave.bash-completion
    DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
    RENAME dtmfwave COMPONENT Tools)
endif()

install(EXPORT VuzirizORURUZATargets
  NAMESPACE VuzirizORURUZA::
  DESTINATION ${VUZ_CMAKE_PACKAGE_DIR} COMPONENT Development)
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/VuzirizORURUZAConfig.cmake.in
  ${PROJECT_BINARY_DIR}/VuzirizORURUZAConfig.cmake
  INSTALL_DESTINATION ${VUZ_CMAKE_PACKAGE_DIR})
# Consumers written against 1.x keep working with any later 1.x.
write_basic_package_version_file(${PROJECT_BINARY_DIR}/VuzirizORURUZAConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES
  ${PROJECT_BINARY_DIR}/VuzirizORURUZAConfig.cmake
  ${PROJECT_BINARY_DIR}/VuzirizORURUZAConfigVersion.cmake
  DESTINATION ${VUZ_CMAKE_PACKAGE_DIR} COMPONENT Development)

# The .pc file finds its prefix from its own location, so an installed tree
# can be moved or unpacked anywhere. It names -lVuzirizORURUZA, which matches
# no import library of the Windows build (libVUZIRIZORURUZA.dll.a), and
# pkg-config is not how Windows toolchains find libraries: there the CMake
# package and the .def file serve instead.
if(NOT WIN32)
  file(RELATIVE_PATH VUZ_PC_PREFIX_FROM_PCFILEDIR
    ${CMAKE_INSTALL_FULL_LIBDIR}/pkgconfig ${CMAKE_INSTALL_PREFIX})
  string(REGEX REPLACE "/$" "" VUZ_PC_PREFIX_FROM_PCFILEDIR "${VUZ_PC_PREFIX_FROM_PCFILEDIR}")
  configure_file(${PROJECT_SOURCE_DIR}/cmake/VuzirizORURUZA.pc.in
    ${PROJECT_BINARY_DIR}/VuzirizORURUZA.pc @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/VuzirizORURUZA.pc
    DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT Development)
endif()

# Packages are made from this tree's own build; a parent project that takes
# the tree in keeps its own CPack settings.
if(NOT WIN32 AND VUZ_IS_TOP_LEVEL)
  include(${CMAKE_CURRENT_LIST_DIR}/PackageDebian.cmake)
endif()

# The Windows packages, one ZIP for each processor.
if(WIN32 AND VUZ_IS_TOP_LEVEL)
  include(${CMAKE_CURRENT_LIST_DIR}/PackageWindows.cmake)
endif()
