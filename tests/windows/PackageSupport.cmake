# What the scripts that test the Windows ZIP share (PackageRun.cmake,
# MsvcConsumer.cmake).

# Makes the ZIP with CPack from the Windows tree build_dir and unpacks it
# into work_dir/unpacked, both made afresh; sets archive_var to the ZIP's
# name and top_var to the folder it holds.
function(vuz_package_unpack build_dir work_dir archive_var top_var)
  file(REMOVE_RECURSE ${work_dir})
  file(MAKE_DIRECTORY ${work_dir}/unpacked)
  execute_process(COMMAND ${CMAKE_CPACK_COMMAND} --config ${build_dir}/CPackConfig.cmake -B ${work_dir}/package
    RESULT_VARIABLE cpack_status OUTPUT_VARIABLE cpack_output ERROR_VARIABLE cpack_output)
  file(GLOB archives RELATIVE ${work_dir}/package ${work_dir}/package/*.zip)
  if(NOT cpack_status EQUAL 0 OR NOT archives)
    message(FATAL_ERROR "cpack made no ZIP (${cpack_status}):\n${cpack_output}")
  endif()
  execute_process(COMMAND ${CMAKE_COMMAND} -E tar xf ${work_dir}/package/${archives}
    WORKING_DIRECTORY ${work_dir}/unpacked RESULT_VARIABLE unpack_status)
  file(GLOB top ${work_dir}/unpacked/*)
  if(NOT unpack_status EQUAL 0 OR NOT top)
    message(FATAL_ERROR "the ZIP could not be unpacked")
  endif()
  set(${archive_var} ${archives} PARENT_SCOPE)
  set(${top_var} ${top} PARENT_SCOPE)
endfunction()

# Runs `program [arguments...] KEYS FILE` under Wine through runner, and
# fails unless FILE is byte for byte what the Linux build's dtmfwave
# (linux_writer) writes for the same keys: every key, and a letter the
# Windows code page holds. what names the program in the messages.
function(vuz_package_same_bytes runner linux_writer work_dir what program)
  set(keys "123A456B789C*0#Dé")
  execute_process(COMMAND ${runner} ${program} ${ARGN} ${keys} ${work_dir}/windows.wav
    RESULT_VARIABLE windows_status ERROR_VARIABLE windows_error)
  if(NOT windows_status EQUAL 0)
    message(FATAL_ERROR "${what} failed (${windows_status}): ${windows_error}")
  endif()
  execute_process(COMMAND ${linux_writer} -q ${keys} ${work_dir}/linux.wav RESULT_VARIABLE linux_status)
  execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${work_dir}/windows.wav ${work_dir}/linux.wav
    RESULT_VARIABLE differ)
  if(NOT linux_status EQUAL 0 OR NOT differ EQUAL 0)
    message(FATAL_ERROR "${what}'s file differs from the Linux build's")
  endif()
endfunction()
