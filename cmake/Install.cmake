# Install rules (VUZ_INSTALL), in three components that mirror how the module
# is packaged:
#   Runtime      the module and the class library it needs, each with its
#                versioned soname (on Windows: the two DLLs)
#   Development  the headers in include/vuzirizoruza/, the unversioned .so
#                links (import libraries on Windows), the CMake package, the
#                pkg-config files and the manual page DTMFWaveCreate(3)
#   Tools        dtmfwave, its manual page and its bash completion
#                (VUZ_BUILD_HOST)
# A plain `cmake --install` installs all three; the Debian packages take one
# each (cmake/PackageDebian.cmake), and a fourth, the Python binding.
include(CMakePackageConfigHelpers)

set(VUZ_CMAKE_PACKAGE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/VuzirizORURUZA)
# find_package(vuzirizoruza) looks in a folder of that name: it holds only
# the way to the package above.
set(VUZ_CMAKE_LOWER_CASE_PACKAGE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/vuzirizoruza)
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
install(FILES ${PROJECT_SOURCE_DIR}/dtmf/DTMFWave.h ${PROJECT_SOURCE_DIR}/dtmf/DTMFWave.hpp
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/vuzirizoruza COMPONENT Development)
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE
  DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT Runtime)

# Manual pages carry the project's version and the date of its release
# (cmake/Version.cmake). man finds a compressed page as readily as a plain
# one, and Debian wants it compressed; gzip -n keeps the name and time out,
# so the bytes are stable. Windows has no man.
function(vuz_manual_page name section component)
  if(WIN32)
    return()
  endif()
  set(page ${PROJECT_BINARY_DIR}/man/${name}.${section})
  configure_file(${PROJECT_SOURCE_DIR}/docs/${name}.${section}.in ${page} @ONLY)
  find_program(VUZ_GZIP gzip)
  if(VUZ_GZIP)
    add_custom_command(OUTPUT ${page}.gz
      COMMAND ${VUZ_GZIP} -9nc ${page} > ${page}.gz
      DEPENDS ${page}
      VERBATIM)
    add_custom_target(vuz_manual_page_${name} ALL DEPENDS ${page}.gz)
    set(page ${page}.gz)
  endif()
  install(FILES ${page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man${section} COMPONENT ${component})
endfunction()

vuz_manual_page(DTMFWaveCreate 3 Development)
if(VUZ_BUILD_HOST)
  install(TARGETS dtmfwave RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT Tools)
  vuz_manual_page(dtmfwave 1 Tools)
  if(NOT WIN32)
    install(FILES ${PROJECT_SOURCE_DIR}/cli/dtmfwave.bash-completion
      DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
      RENAME dtmfwave COMPONENT Tools)
  endif()
endif()

install(EXPORT VuzirizORURUZATargets
  NAMESPACE VuzirizORURUZA::
  DESTINATION ${VUZ_CMAKE_PACKAGE_DIR} COMPONENT Development)
# Where the Windows ZIPs keep the Microsoft toolchain's import library
# (cmake/PackageWindows.cmake); the package names it to such consumers.
set(VUZ_MSVC_IMPORT_LIBRARY ${CMAKE_INSTALL_LIBDIR}/VUZIRIZORURUZA.lib)
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/VuzirizORURUZAConfig.cmake.in
  ${PROJECT_BINARY_DIR}/VuzirizORURUZAConfig.cmake
  INSTALL_DESTINATION ${VUZ_CMAKE_PACKAGE_DIR}
  PATH_VARS VUZ_MSVC_IMPORT_LIBRARY)
# Consumers written against 1.x keep working with any later 1.x; one
# version file for each name of the package.
write_basic_package_version_file(${PROJECT_BINARY_DIR}/VuzirizORURUZAConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
write_basic_package_version_file(${PROJECT_BINARY_DIR}/vuzirizoruza-config-version.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES
  ${PROJECT_BINARY_DIR}/VuzirizORURUZAConfig.cmake
  ${PROJECT_BINARY_DIR}/VuzirizORURUZAConfigVersion.cmake
  DESTINATION ${VUZ_CMAKE_PACKAGE_DIR} COMPONENT Development)
install(FILES
  ${PROJECT_SOURCE_DIR}/cmake/vuzirizoruza-config.cmake
  ${PROJECT_BINARY_DIR}/vuzirizoruza-config-version.cmake
  DESTINATION ${VUZ_CMAKE_LOWER_CASE_PACKAGE_DIR} COMPONENT Development)

# pkg-config finds the module as vuzirizoruza, as Debian names its packages,
# and as VuzirizORURUZA, the project's own name, which only requires the
# first. Not on Windows: -lVuzirizORURUZA matches no import library of the
# Windows build (libVUZIRIZORURUZA.dll.a), and pkg-config is not how Windows
# toolchains find libraries; the CMake package and the .def file serve there.
if(NOT WIN32)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/PkgConfigInstall.cmake.in
    ${PROJECT_BINARY_DIR}/PkgConfigInstall.cmake @ONLY)
  install(SCRIPT ${PROJECT_BINARY_DIR}/PkgConfigInstall.cmake COMPONENT Development)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/VuzirizORURUZA.pc.in
    ${PROJECT_BINARY_DIR}/pkgconfig/VuzirizORURUZA.pc @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/pkgconfig/VuzirizORURUZA.pc
    DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT Development)
endif()

# Packages are made from this tree's own build; a parent project that takes
# the tree in keeps its own CPack settings.
if(NOT WIN32 AND VuzirizORURUZA_IS_TOP_LEVEL)
  include(${CMAKE_CURRENT_LIST_DIR}/PackageDebian.cmake)
endif()

# The Windows packages, one ZIP for each processor.
if(WIN32 AND VuzirizORURUZA_IS_TOP_LEVEL)
  include(${CMAKE_CURRENT_LIST_DIR}/PackageWindows.cmake)
endif()
