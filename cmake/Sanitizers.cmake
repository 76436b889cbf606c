# Builds for proving the module under faults and load. Each option applies to
# every target of the tree, so the module, its host and its tests are
# checked together.
#
#   VUZ_SANITIZE=address,undefined   AddressSanitizer (with LeakSanitizer)
#                                    and UndefinedBehaviorSanitizer
#   VUZ_SANITIZE=thread              ThreadSanitizer
#   VUZ_FAULT_INJECTION=ON           the seam that lets tests fail any file
#                                    operation of the core layer
#   VUZ_BUILD_FUZZERS=ON             libFuzzer targets (Clang only)
set(VUZ_SANITIZE "" CACHE STRING "Sanitizers for every target: address,undefined or thread")
option(VUZ_FAULT_INJECTION "Build the file-operation fault seam (tests only, never for release)" OFF)
option(VUZ_BUILD_FUZZERS "Build the libFuzzer targets (needs Clang)" OFF)

if(VUZ_SANITIZE)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
    message(FATAL_ERROR "VUZ_SANITIZE needs GCC or Clang")
  endif()
  if(VUZ_SANITIZE MATCHES "thread" AND VUZ_SANITIZE MATCHES "address")
    message(FATAL_ERROR "ThreadSanitizer and AddressSanitizer cannot share one build")
  endif()
  # Every finding stops the program, so a test cannot pass over one.
  add_compile_options(-fsanitize=${VUZ_SANITIZE} -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=${VUZ_SANITIZE})
endif()

if(VUZ_FAULT_INJECTION)
  add_compile_definitions(VUZ_FAULT_INJECTION)
endif()

if(VUZ_BUILD_FUZZERS)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "VUZ_BUILD_FUZZERS needs Clang (configure with CXX=clang++-14 CC=clang-14)")
  endif()
  # Coverage feedback from the module's own code, not only the fuzz targets.
  # Build just the fuzz targets in such a tree: Clang leaves the sanitizer
  # runtime out of shared libraries, which the module's --no-undefined
  # refuses.
  add_compile_options(-fsanitize=fuzzer-no-link)
  add_subdirectory(${PROJECT_SOURCE_DIR}/fuzz ${PROJECT_BINARY_DIR}/fuzz)
endif()
