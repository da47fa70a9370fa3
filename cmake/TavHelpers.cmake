# Per-target build settings, kept in one place so every subsystem builds the same way.

function(tav_target_settings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra)
  if(TAV_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
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
    # -Wno-tsan: GCC warns that ThreadSanitizer cannot see the atomic fences inside Boost.Asio's
    # headers (the collector's server); a fact about the tool, not a fault to fix in our code.
    target_compile_options(${target} PRIVATE -fsanitize=thread -fno-omit-frame-pointer -Wno-tsan)
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

# Tests reach the television's absolute paths (/opt/data/cert, /opt/usr/apps, /usr/apps,
# /etc/perf) under the product's own constants; this launcher gives each test a private view of
# them, so the host stays untouched and such tests run side by side (tests/support/isolate.sh).
set(TAV_TEST_LAUNCHER ${PROJECT_SOURCE_DIR}/tests/support/isolate.sh)
# Exit status of the launcher when it cannot isolate (no root, no user namespaces).
set(TAV_TEST_SKIP_CODE 77)

# tav_add_gtest(<name> SOURCES ... LIBS ... [ENV ...] [LABELS ...] [FIXTURES ...] [TIMEOUT seconds])
# One executable per test file; every test case is registered in CTest on its own, runs through
# the launcher and has a time limit (default 60 s).
function(tav_add_gtest name)
  cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS;ENV;LABELS;FIXTURES" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  tav_target_settings(${name})
  target_link_libraries(${name} PRIVATE ${T_LIBS} tav::testsupport GTest::gtest GTest::gmock)
  # gtest_discover_tests puts this before the program, both for listing and for each case.
  set_target_properties(${name} PROPERTIES CROSSCOMPILING_EMULATOR ${TAV_TEST_LAUNCHER})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 60)
  endif()
  set(props TIMEOUT ${T_TIMEOUT} SKIP_RETURN_CODE ${TAV_TEST_SKIP_CODE})
  # Empty values must not reach PROPERTIES: an empty ENVIRONMENT would swallow LABELS.
  if(T_ENV)
    list(APPEND props ENVIRONMENT "${T_ENV}")
  endif()
  if(T_LABELS)
    list(APPEND props LABELS "${T_LABELS}")
  endif()
  if(T_FIXTURES)
    list(APPEND props FIXTURES_REQUIRED "${T_FIXTURES}")
  endif()
  # One build target per label (tests_threading, ...), so that a build for one kind of test (the
  # ThreadSanitizer run) builds just the programs that carry its label.
  foreach(label IN LISTS T_LABELS)
    if(NOT TARGET tests_${label})
      add_custom_target(tests_${label})
    endif()
    add_dependencies(tests_${label} ${name})
  endforeach()
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES ${props})
endfunction()
