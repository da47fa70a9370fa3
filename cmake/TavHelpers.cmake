# Per-target build settings, kept in one place so every subsystem builds the same way.

function(tav_target_settings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra)
  if(TAV_SANITIZE)
    target_compile_options(${target} PRIVATE -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    target_link_options(${target} PRIVATE -fsanitize=address,undefined)
  endif()
  if(TAV_TSAN)
    target_compile_options(${target} PRIVATE -fsanitize=thread -fno-omit-frame-pointer)
    target_link_options(${target} PRIVATE -fsanitize=thread)
  endif()
endfunction()

# tav_add_library(<name> <STATIC|SHARED|...> sources... ) + ALIAS tav::<name>
function(tav_add_library name)
  add_library(${name} ${ARGN})
  add_library(tav::${name} ALIAS ${name})
  tav_target_settings(${name})
endfunction()

function(tav_add_executable name)
  add_executable(${name} ${ARGN})
  tav_target_settings(${name})
endfunction()

# tav_add_gtest(<name> SOURCES ... LIBS ... [ENV ...] [LABELS ...])
# One executable per test file; every test case is registered in CTest on its own.
function(tav_add_gtest name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS;ENV;LABELS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  tav_target_settings(${name})
  target_link_libraries(${name} PRIVATE ${T_LIBS} tav::testsupport GTest::gtest GTest::gmock)
  gtest_discover_tests(${name}
    DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "${T_ENV}" LABELS "${T_LABELS}")
endfunction()
