# Install rules: the module, its header, the command-line host and its
# manual, and the package files that let consumers find the module either
# with find_package(VuzirizORURUZA CONFIG) or with pkg-config.
include(CMakePackageConfigHelpers)

set(VUZ_CMAKE_PACKAGE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/VuzirizORURUZA)

install(TARGETS VuzirizORURUZA vuz_public_header
  EXPORT VuzirizORURUZATargets
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} NAMELINK_COMPONENT Development
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT Development)
install(FILES ${PROJECT_SOURCE_DIR}/dtmf/DTMFWave.h
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT Development)
install(TARGETS dtmfwave RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(NOT WIN32)
  install(FILES ${PROJECT_SOURCE_DIR}/docs/dtmfwave.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
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
# can be moved or unpacked anywhere.
file(RELATIVE_PATH VUZ_PC_PREFIX_FROM_PCFILEDIR
  ${CMAKE_INSTALL_FULL_LIBDIR}/pkgconfig ${CMAKE_INSTALL_PREFIX})
string(REGEX REPLACE "/$" "" VUZ_PC_PREFIX_FROM_PCFILEDIR "${VUZ_PC_PREFIX_FROM_PCFILEDIR}")
configure_file(${PROJECT_SOURCE_DIR}/cmake/VuzirizORURUZA.pc.in
  ${PROJECT_BINARY_DIR}/VuzirizORURUZA.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/VuzirizORURUZA.pc
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT Development)

# The Windows packages, one ZIP for each processor.
if(WIN32)
  include(${CMAKE_CURRENT_LIST_DIR}/PackageWindows.cmake)
endif()
