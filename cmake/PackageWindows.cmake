# The Windows packages: one ZIP per processor, named for it
# (VuzirizORURUZA-<version>-win64.zip, -win32.zip), holding the install
# tree: the DLL, the class library it imports, an import library for MinGW
# and one for the Microsoft toolchain, the .def file for other linkers, the
# headers, the CMake package, dtmfwave.exe, a README and the licence.
# Included from Install.cmake after the install rules.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(VUZ_PACKAGE_SYSTEM_NAME win64)
  set(VUZ_PACKAGE_WINDOWS_NAME "64-bit Windows (x64)")
  set(VUZ_PACKAGE_MACHINE x64)
else()
  set(VUZ_PACKAGE_SYSTEM_NAME win32)
  set(VUZ_PACKAGE_WINDOWS_NAME "32-bit Windows (x86)")
  set(VUZ_PACKAGE_MACHINE x86)
endif()

install(FILES ${PROJECT_SOURCE_DIR}/module/VuzirizORURUZA.def
  DESTINATION ${CMAKE_INSTALL_LIBDIR} RENAME VUZIRIZORURUZA.def COMPONENT Development)

# The Microsoft toolchain's import library (link.exe, lld-link, clang-cl),
# made from the export list by LLVM's dlltool, which writes the format of
# Microsoft's lib.exe. It names the x86 call as a Microsoft compiler names
# a __cdecl one, _DTMFWaveCreate, imports it by its plain name, the one the
# DLL exports, and passes the /SAFESEH check that Microsoft's linkers make
# by default on x86; MinGW's dlltool writes objects that check refuses.
if(VUZ_PACKAGE_MACHINE STREQUAL "x64")
  set(vuz_dlltool_machine i386:x86-64)
else()
  set(vuz_dlltool_machine i386)
endif()
find_program(VUZ_DLLTOOL NAMES llvm-dlltool-14 llvm-dlltool
  DOC "LLVM's dlltool, which makes the Microsoft toolchain's import library")
if(NOT VUZ_DLLTOOL)
  message(FATAL_ERROR "llvm-dlltool was not found: the Windows package's import library for the "
    "Microsoft toolchain needs it (apt-get install llvm-14)")
endif()
set(vuz_msvc_import_library ${PROJECT_BINARY_DIR}/VUZIRIZORURUZA.lib)
add_custom_command(OUTPUT ${vuz_msvc_import_library}
  COMMAND ${VUZ_DLLTOOL} -m ${vuz_dlltool_machine} -d ${PROJECT_SOURCE_DIR}/module/VuzirizORURUZA.def
          -l ${vuz_msvc_import_library}
  DEPENDS ${PROJECT_SOURCE_DIR}/module/VuzirizORURUZA.def
  COMMENT "Making the Microsoft toolchain's import library"
  VERBATIM)
add_custom_target(vuz_msvc_import_library ALL DEPENDS ${vuz_msvc_import_library})
install(FILES ${vuz_msvc_import_library} DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT Development)

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
