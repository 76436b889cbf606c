# Fails unless the dynamic symbol table of MODULE defines exactly one symbol,
# the function DTMFWaveCreate. Run as:
#   cmake -DNM=nm -DMODULE=libVuzirizORURUZA.so -P ExportedSymbols.cmake
if(NOT NM OR NOT MODULE)
  message(FATAL_ERROR "pass -DNM=<nm> and -DMODULE=<shared object>")
endif()
execute_process(COMMAND ${NM} -D --defined-only ${MODULE}
  RESULT_VARIABLE status OUTPUT_VARIABLE listing ERROR_VARIABLE errors)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${NM} failed on ${MODULE}: ${errors}")
endif()

string(REGEX MATCHALL "[^\n]+" lines "${listing}")
set(defined "")
foreach(line IN LISTS lines)
  if(line MATCHES "^[0-9a-fA-F]* *([A-Za-z]) (.+)$")
    list(APPEND defined "${CMAKE_MATCH_1} ${CMAKE_MATCH_2}")
  endif()
endforeach()

if(NOT defined STREQUAL "T DTMFWaveCreate")
  message(FATAL_ERROR "expected exactly 'T DTMFWaveCreate', the module defines: ${defined}")
endif()
message(STATUS "exports: ${defined}")
