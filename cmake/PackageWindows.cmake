# The Windows packages: one ZIP per processor, named for it
# (VuzirizORURUZA-<version>-win64.zip, -win32.zip), holding the install
# tree: the DLL, the class library it imports, the MinGW import library and
# the .def file for other linkers, the header, the CMake package,
# dtmfwave.exe, a README and the licence. Included from Install.cmake after
# the install rules.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(VUZ_PACKAGE_SYSTEM_NAME win64)
  set(VUZ_PACKAGE_WINDOWS_NAME "64-bit Windows (x64)")
  set(VUZ_PACKAGE_MACHINE x64)
else()
  set(VUZ_PACKAGE_SYSTEM_NAME win32)
  set(VUZ_PACKAGE_WINDOWS_NAME "32-bit Windows (x86)")
  set(VUZ_PACKAGE_MACHINE x86)
endif()

# MSVC users make their own import library from it:
#   lib /def:VUZIRIZORURUZA.def /machine:x86 (or x64) /out:VUZIRIZORURUZA.lib
install(FILES ${PROJECT_SOURCE_DIR}/module/VuzirizORURUZA.def
  DESTINATION ${CMAKE_INSTALL_LIBDIR} RENAME VUZIRIZORURUZA.def COMPONENT Development)

configure_file(${CMAKE_CURRENT_LIST_DIR}/PackageWindows-README.txt.in
  ${PROJECT_BINARY_DIR}/README.txt @ONLY NEWLINE_STYLE CRLF)
install(FILES ${PROJECT_BINARY_DIR}/README.txt DESTINATION .)
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION . RENAME LICENSE.txt)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME VuzirizORURUZA)
set(CPACK_PACKAGE_VENDOR "VuzirizORURUZA developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_SYSTEM_NAME ${VUZ_PACKAGE_SYSTEM_NAME})
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
# The shipped DLLs and dtmfwave.exe carry no symbol table or debug sections.
set(CPACK_STRIP_FILES ON)
include(CPack)
