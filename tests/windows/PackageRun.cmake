# Builds the Windows ZIP with CPack, unpacks it into a fresh folder and runs
# the dtmfwave.exe it holds under Wine, from there alone; its file must be
# the Linux build's byte for byte.
#   cmake -DBUILD_DIR= -DRUNNER= -DLINUX_WRITER= -DWORK_DIR= -P PackageRun.cmake
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR}/unpacked)

execute_process(COMMAND ${CMAKE_CPACK_COMMAND} --config ${BUILD_DIR}/CPackConfig.cmake -B ${WORK_DIR}/package
  RESULT_VARIABLE cpack_status OUTPUT_VARIABLE cpack_output ERROR_VARIABLE cpack_output)
file(GLOB archives ${WORK_DIR}/package/*.zip)
if(NOT cpack_status EQUAL 0 OR NOT archives)
  message(FATAL_ERROR "cpack made no ZIP (${cpack_status}):\n${cpack_output}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E tar xf ${archives} WORKING_DIRECTORY ${WORK_DIR}/unpacked
  RESULT_VARIABLE unpack_status)
file(GLOB top ${WORK_DIR}/unpacked/*)
if(NOT unpack_status EQUAL 0 OR NOT top)
  message(FATAL_ERROR "the ZIP could not be unpacked")
endif()

foreach(expected bin/VUZIRIZORURUZA.dll bin/VuzClassLibrary.dll bin/dtmfwave.exe lib/libVUZIRIZORURUZA.dll.a
                 include/DTMFWave.h lib/cmake/VuzirizORURUZA/VuzirizORURUZAConfig.cmake)
  if(NOT EXISTS ${top}/${expected})
    message(FATAL_ERROR "the ZIP lacks ${expected}")
  endif()
endforeach()

set(keys "123A456B789C*0#Dé")
execute_process(COMMAND ${RUNNER} ${top}/bin/dtmfwave.exe -q ${keys} ${WORK_DIR}/windows.wav
  RESULT_VARIABLE windows_status ERROR_VARIABLE windows_error)
if(NOT windows_status EQUAL 0)
  message(FATAL_ERROR "the packaged dtmfwave.exe failed (${windows_status}): ${windows_error}")
endif()
execute_process(COMMAND ${LINUX_WRITER} -q ${keys} ${WORK_DIR}/linux.wav RESULT_VARIABLE linux_status)
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${WORK_DIR}/windows.wav ${WORK_DIR}/linux.wav
  RESULT_VARIABLE differ)
if(NOT linux_status EQUAL 0 OR NOT differ EQUAL 0)
  message(FATAL_ERROR "the packaged host's file differs from the Linux build's")
endif()
message(STATUS "the packaged host wrote the Linux build's bytes")
