# The ZIP as a Microsoft-toolchain user takes it: made by CPack and unpacked
# into a fresh folder, its CMake package found by a C program that Clang in
# MSVC mode compiles and lld-link links (msvc_consumer/).
#   link: cmake -DBUILD_DIR= -DWORK_DIR= -DPROCESSOR= -DCLANG= -DDLLTOOL= -DMINGW_SYSROOT=
#               -DPYTHON= -P MsvcConsumer.cmake
#         the package must give the program lib/VUZIRIZORURUZA.lib, and the
#         program, read by pefile, must import DTMFWaveCreate by its plain
#         name from VUZIRIZORURUZA.dll; it lands in the ZIP's bin/
#   run:  cmake -DRUNNER= -DLINUX_WRITER= -DWORK_DIR= -P MsvcConsumer.cmake
#         under Wine, that program writes the Linux build's bytes, and
#         reports a missing folder with exit status 1
set(here ${CMAKE_CURRENT_LIST_DIR}/msvc_consumer)
include(${CMAKE_CURRENT_LIST_DIR}/PackageSupport.cmake)

if(RUNNER)
  file(GLOB program ${WORK_DIR}/unpacked/*/bin/msvc_consumer.exe)
  if(NOT program)
    message(FATAL_ERROR "no msvc_consumer.exe under ${WORK_DIR}: the link test did not run")
  endif()
  vuz_package_same_bytes(${RUNNER} ${LINUX_WRITER} ${WORK_DIR} msvc_consumer.exe ${program})
  # The runner shows the set-up's log for any failing program; not wanted here.
  execute_process(COMMAND ${RUNNER} ${program} 1 ${WORK_DIR}/no/such/folder/out.wav
    RESULT_VARIABLE status OUTPUT_QUIET ERROR_QUIET)
  if(NOT status EQUAL 1)
    message(FATAL_ERROR "msvc_consumer.exe exited with ${status} for a missing folder, not 1")
  endif()
  message(STATUS "the Microsoft-toolchain program wrote the Linux build's bytes and reported a missing folder")
  return()
endif()

vuz_package_unpack(${BUILD_DIR} ${WORK_DIR} archive top)

# The system DLLs' import libraries, as the Windows SDK has them: x86 names
# a __stdcall function with the bytes of its arguments (-k imports it by its
# plain name). MinGW's own are refused by lld-link's default /safeseh on x86.
if(PROCESSOR MATCHES "64")
  set(MSVC_TRIPLE x86_64-pc-windows-msvc)
  set(machine i386:x86-64)
else()
  set(MSVC_TRIPLE i686-pc-windows-msvc)
  set(machine i386)
endif()
foreach(dll IN ITEMS "kernel32|GetCommandLineW@0 GetLastError@0 SetLastError@4 LocalFree@4 ExitProcess@4"
                     "shell32|CommandLineToArgvW@8")
  string(REPLACE "|" ";" dll "${dll}")
  list(GET dll 0 name)
  list(GET dll 1 exports)
  if(PROCESSOR MATCHES "64")
    string(REGEX REPLACE "@[0-9]+" "" exports "${exports}")
  endif()
  string(REPLACE " " "\n" exports "${exports}")
  file(WRITE ${WORK_DIR}/${name}.def "LIBRARY ${name}.dll\nEXPORTS\n${exports}\n")
  execute_process(COMMAND ${DLLTOOL} -m ${machine} -k -d ${WORK_DIR}/${name}.def -l ${WORK_DIR}/${name}.lib
    RESULT_VARIABLE dlltool_status)
  if(NOT dlltool_status EQUAL 0)
    message(FATAL_ERROR "${DLLTOOL} could not make ${name}.lib")
  endif()
endforeach()
configure_file(${here}/clang-msvc.cmake.in ${WORK_DIR}/clang-msvc.cmake @ONLY)
execute_process(
  COMMAND ${CMAKE_COMMAND} -S ${here} -B ${WORK_DIR}/consumer --toolchain ${WORK_DIR}/clang-msvc.cmake
          -DCMAKE_BUILD_TYPE=Release -DCMAKE_PREFIX_PATH=${top} -DCMAKE_RUNTIME_OUTPUT_DIRECTORY=${top}/bin
  RESULT_VARIABLE configure_status OUTPUT_VARIABLE build_output ERROR_VARIABLE build_output)
if(configure_status EQUAL 0)
  execute_process(COMMAND ${CMAKE_COMMAND} --build ${WORK_DIR}/consumer --verbose
    RESULT_VARIABLE build_status OUTPUT_VARIABLE build_output ERROR_VARIABLE build_output)
endif()
if(NOT configure_status EQUAL 0 OR NOT build_status EQUAL 0)
  message(FATAL_ERROR "the Microsoft-toolchain consumer did not configure or build:\n${build_output}")
endif()

file(READ ${WORK_DIR}/consumer/import-library.txt import_library)
if(NOT import_library STREQUAL "${top}/lib/VUZIRIZORURUZA.lib")
  message(FATAL_ERROR "the ZIP's CMake package gave the Microsoft toolchain ${import_library}, "
                      "not lib/VUZIRIZORURUZA.lib")
endif()
execute_process(COMMAND ${PYTHON} ${here}/imports.py ${top}/bin/msvc_consumer.exe VUZIRIZORURUZA.dll
  RESULT_VARIABLE imports_status OUTPUT_VARIABLE imports)
if(NOT imports_status EQUAL 0 OR NOT imports STREQUAL "DTMFWaveCreate\n")
  message(FATAL_ERROR "msvc_consumer.exe imports from VUZIRIZORURUZA.dll: '${imports}' (${imports_status})")
endif()
message(STATUS "linked against the ZIP's VUZIRIZORURUZA.lib; the program imports DTMFWaveCreate by name")
