# Builds the Windows ZIP with CPack, unpacks it into a fresh folder, and
# either reads it or runs the dtmfwave.exe it holds under Wine, from there
# alone.
#   contents: cmake -DBUILD_DIR= -DSOURCE_DIR= -DPE_CHECK= -DVERSION= -DPROCESSOR= -DZIP_NAME=
#                   -DWORK_DIR= -P PackageRun.cmake
#             the ZIP's name, its files, the DLL read by pefile, every binary
#             stripped, and no pkg-config file
#   host:     cmake -DBUILD_DIR= -DRUNNER= -DLINUX_WRITER= -DWORK_DIR= -P PackageRun.cmake
#             the packaged host's file must be the Linux build's byte for byte
include(${CMAKE_CURRENT_LIST_DIR}/PackageSupport.cmake)
vuz_package_unpack(${BUILD_DIR} ${WORK_DIR} archives top)

if(NOT RUNNER)
  # Named for its processor, so the 32-bit and the 64-bit ZIP can sit side by side.
  if(NOT archives STREQUAL ZIP_NAME)
    message(FATAL_ERROR "cpack made ${archives}, expected ${ZIP_NAME}")
  endif()
  set(expected bin/VUZIRIZORURUZA.dll bin/VuzClassLibrary.dll bin/dtmfwave.exe lib/libVUZIRIZORURUZA.dll.a
               lib/VUZIRIZORURUZA.lib lib/VUZIRIZORURUZA.def include/vuzirizoruza/DTMFWave.h
               include/vuzirizoruza/DTMFWave.hpp lib/cmake/VuzirizORURUZA/VuzirizORURUZAConfig.cmake
               lib/cmake/vuzirizoruza/vuzirizoruza-config.cmake README.txt)
  if(EXISTS ${SOURCE_DIR}/LICENSE)
    list(APPEND expected LICENSE.txt)
  endif()
  foreach(file IN LISTS expected)
    if(NOT EXISTS ${top}/${file})
      message(FATAL_ERROR "the ZIP lacks ${file}")
    endif()
  endforeach()
  # Its -l name matches no import library of this build.
  file(GLOB_RECURSE pc_files ${top}/*.pc)
  if(pc_files)
    message(FATAL_ERROR "the ZIP holds a pkg-config file: ${pc_files}")
  endif()
  execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files --ignore-eol
                          ${SOURCE_DIR}/module/VuzirizORURUZA.def ${top}/lib/VUZIRIZORURUZA.def
    RESULT_VARIABLE def_differs)
  if(NOT def_differs EQUAL 0)
    message(FATAL_ERROR "the ZIP's .def file is not the module's export list")
  endif()
  # The shipped DLL exactly as the built one is read, then every binary
  # checked for leftover symbols.
  execute_process(COMMAND ${PE_CHECK} ${top}/bin/VUZIRIZORURUZA.dll ${VERSION} ${PROCESSOR}
    RESULT_VARIABLE pe_status)
  execute_process(COMMAND ${PE_CHECK} --stripped
                          ${top}/bin/VUZIRIZORURUZA.dll ${top}/bin/VuzClassLibrary.dll ${top}/bin/dtmfwave.exe
    RESULT_VARIABLE stripped_status)
  if(NOT pe_status EQUAL 0 OR NOT stripped_status EQUAL 0)
    message(FATAL_ERROR "pefile finds fault with the packaged binaries")
  endif()
  message(STATUS "${archives}: every file in place, the DLL sound and every binary stripped")
  return()
endif()

vuz_package_same_bytes(${RUNNER} ${LINUX_WRITER} ${WORK_DIR} "the packaged dtmfwave.exe" ${top}/bin/dtmfwave.exe -q)
message(STATUS "the packaged host wrote the Linux build's bytes")
