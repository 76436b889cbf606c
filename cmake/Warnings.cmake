# Warnings for the project's own targets, kept off third-party code.
function(vuz_enable_warnings target)
  if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wcast-qual -Wformat=2)
  endif()
endfunction()

# The bytes of every file follow IEEE-754 double arithmetic exactly as
# written: no fused multiply-add, no reassociation, no fast-math shortcuts.
function(vuz_exact_floating_point target)
  if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
    target_compile_options(${target} PRIVATE -ffp-contract=off -fno-fast-math)
  endif()
endfunction()
