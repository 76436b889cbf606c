# Writes KEYS with the Windows DLL (under Wine) and with the Linux build's
# dtmfwave, then fails unless the two files are byte for byte the same.
#   cmake -DRUNNER= -DHOST= -DLINUX_WRITER= -DKEYS= -DWORK_DIR= -P CompareWithLinux.cmake
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})
file(WRITE ${WORK_DIR}/keys.utf8 "${KEYS}")

# The runner adds the prefix set-up's log to Wine's and the host's own
# error output when the program fails.
execute_process(COMMAND ${RUNNER} ${HOST} write ${WORK_DIR}/keys.utf8 ${WORK_DIR}/windows.wav
  RESULT_VARIABLE windows_status OUTPUT_VARIABLE windows_output ERROR_VARIABLE windows_error)
if(NOT windows_status EQUAL 0)
  message(FATAL_ERROR "the Windows host failed: ${windows_status}\n"
                      "its output:\n${windows_output}\nits and Wine's error output:\n${windows_error}")
endif()
execute_process(COMMAND ${LINUX_WRITER} -- "${KEYS}" ${WORK_DIR}/linux.wav
  RESULT_VARIABLE linux_status ERROR_QUIET)
if(NOT linux_status EQUAL 0)
  message(FATAL_ERROR "the Linux dtmfwave failed: ${linux_status}")
endif()

execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${WORK_DIR}/windows.wav ${WORK_DIR}/linux.wav
  RESULT_VARIABLE differ)
if(NOT differ EQUAL 0)
  file(SIZE ${WORK_DIR}/windows.wav windows_size)
  file(SIZE ${WORK_DIR}/linux.wav linux_size)
  message(FATAL_ERROR "the files differ (Windows ${windows_size} bytes, Linux ${linux_size} bytes)")
endif()
file(SIZE ${WORK_DIR}/linux.wav size)
message(STATUS "identical, ${size} bytes")
