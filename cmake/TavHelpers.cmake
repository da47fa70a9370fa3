# Per-target build settings, kept in one place so every subsystem builds the same way.

function(tav_target_settings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra)
  # Each function and object in a section of its own, so that a program links only what it
  # calls: the survey takes a few functions of the device and HTTP libraries, not all of them
  # (its code shrinks by 40 %, and so does what start-up pages in).
  target_compile_options(${target} PRIVATE -ffunction-sections -fdata-sections)
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "EXECUTABLE")
    target_link_options(${target} PRIVATE -Wl,--gc-sections)
  endif()
  if(TAV_SANITIZE)
    target_compile_options(${target} PRIVATE -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    target_link_options(${target} PRIVATE -fsanitize=address,undefined)
  endif()
  # Fuzzing: the libraries carry coverage counters and ASan+UBSan; only the fuzz executables
  # (marked TAV_FUZZER by tav_add_fuzzer) link libFuzzer's engine and its main().
  if(TAV_FUZZ)
    get_target_property(is_fuzzer ${target} TAV_FUZZER)
    if(is_fuzzer)
      set(fuzz_mode fuzzer)
    else()
      set(fuzz_mode fuzzer-no-link)
    endif()
    target_compile_options(${target} PRIVATE -fsanitize=${fuzz_mode},address,undefined -fno-omit-frame-pointer
                           -fno-sanitize-recover=undefined)
    if(is_fuzzer)
      target_link_options(${target} PRIVATE -fsanitize=fuzzer,address,undefined)
    else()
      target_link_options(${target} PRIVATE -fsanitize=address,undefined)
    endif()
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

# tav_add_fuzzer(<name> SOURCES ... LIBS ...): one libFuzzer executable (TAV_FUZZ builds only).
function(tav_add_fuzzer name)
  cmake_parse_arguments(F "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${F_SOURCES})
  set_target_properties(${name} PROPERTIES TAV_FUZZER ON)
  tav_target_settings(${name})
  target_link_libraries(${name} PRIVATE ${F_LIBS})
endfunction()

# tav_add_gtest(<name> SOURCES ... LIBS ... [ENV ...] [LABELS ...] [FIXTURES ...])
# One executable per test file; every test case is registered in CTest on its own.
function(tav_add_gtest name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS;ENV;LABELS;FIXTURES" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  tav_target_settings(${name})
  target_link_libraries(${name} PRIVATE ${T_LIBS} tav::testsupport GTest::gtest GTest::gmock)
  # Empty values must not reach PROPERTIES: an empty ENVIRONMENT would swallow LABELS.
  set(props "")
  if(T_ENV)
    list(APPEND props ENVIRONMENT "${T_ENV}")
  endif()
  if(T_LABELS)
    list(APPEND props LABELS "${T_LABELS}")
  endif()
  if(T_FIXTURES)
    list(APPEND props FIXTURES_REQUIRED "${T_FIXTURES}")
  endif()
  if(props)
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES ${props})
  else()
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60)
  endif()
endfunction()
