# Helpers shared by every CMakeLists of the project.

set(NERELLE_WARNINGS -Wall -Wextra -Wpedantic -Wshadow -Wno-missing-field-initializers)
if(NERELLE_WERROR)
  list(APPEND NERELLE_WARNINGS -Werror)
endif()

# A fuzz build instruments every library too, so the fuzzers get coverage
# from the code they exercise, not just from their own entry points.
if(NERELLE_FUZZ)
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()

# The sanitizer build (scripts/sanitize.sh) instruments everything, tests and
# tools included; any undefined behaviour aborts, so a test cannot pass over it.
if(NERELLE_SANITIZE)
  if(NERELLE_FUZZ)
    message(FATAL_ERROR "NERELLE_FUZZ already builds with the sanitizers; do not set NERELLE_SANITIZE too")
  endif()
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

# nerelle_library(<name> SOURCES ... [DEPS ...])
# Static library nerelle_<name>, with src/ on the include path so headers are
# included as "<subsystem>/<header>.h".
function(nerelle_library name)
  cmake_parse_arguments(A "" "" "SOURCES;DEPS" ${ARGN})
  add_library(nerelle_${name} STATIC ${A_SOURCES})
  target_include_directories(nerelle_${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_compile_options(nerelle_${name} PRIVATE ${NERELLE_WARNINGS})
  target_link_libraries(nerelle_${name} PUBLIC ${A_DEPS})
endfunction()

# nerelle_executable(<name> SOURCES ... [DEPS ...])
function(nerelle_executable name)
  cmake_parse_arguments(A "" "" "SOURCES;DEPS" ${ARGN})
  add_executable(${name} ${A_SOURCES})
  target_compile_options(${name} PRIVATE ${NERELLE_WARNINGS})
  target_link_libraries(${name} PRIVATE ${A_DEPS})
endfunction()

# nerelle_test(<name> SOURCES ... [DEPS ...] [LABELS ...] [DRIVER_LEAKS_AT_EXIT])
# One GoogleTest program, its cases registered with CTest one by one; tests run
# with the source tree's data/ as working directory parent available through
# NERELLE_SOURCE_DIR. tests/ is on its include path, so test helpers are
# included by their folder as the code under test is: "support/gl_test.h".
# DRIVER_LEAKS_AT_EXIT: the tests run the program in a window, which Esc ends
# with exit(0). By then the GL vendor library has unloaded Mesa's driver, so
# the leak checker of the sanitizer build finds the driver's allocations with
# their code gone (no module for a suppression to name) and one frame deep.
# In that build these tests check everything but leaks at exit; the headless
# program tests and the GL tests check the same code for leaks.
function(nerelle_test name)
  cmake_parse_arguments(A "DRIVER_LEAKS_AT_EXIT" "" "SOURCES;DEPS;LABELS" ${ARGN})
  add_executable(${name} ${A_SOURCES})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  target_compile_options(${name} PRIVATE ${NERELLE_WARNINGS})
  target_compile_definitions(${name} PRIVATE
    NERELLE_SOURCE_DIR="${PROJECT_SOURCE_DIR}" NERELLE_BINARY_DIR="${PROJECT_BINARY_DIR}")
  target_link_libraries(${name} PRIVATE ${A_DEPS} GTest::gtest GTest::gtest_main GTest::gmock)
  set(props ENVIRONMENT "NERELLE_SOURCE_DIR=${PROJECT_SOURCE_DIR}")
  if(A_LABELS)
    list(APPEND props LABELS "${A_LABELS}")
  endif()
  if(NERELLE_SANITIZE AND A_DRIVER_LEAKS_AT_EXIT)
    list(APPEND props ENVIRONMENT_MODIFICATION "LSAN_OPTIONS=string_append::leak_check_at_exit=0")
  endif()
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES ${props})
endfunction()

# nerelle_benchmark(<name> SOURCES ... [DEPS ...])
function(nerelle_benchmark name)
  cmake_parse_arguments(A "" "" "SOURCES;DEPS" ${ARGN})
  add_executable(${name} ${A_SOURCES})
  target_compile_options(${name} PRIVATE ${NERELLE_WARNINGS})
  target_compile_definitions(${name} PRIVATE NERELLE_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
  target_link_libraries(${name} PRIVATE ${A_DEPS} benchmark::benchmark)
endfunction()

# nerelle_fuzzer(<name> SOURCES ... [DEPS ...] [CORPUS dir])
# With NERELLE_FUZZ (clang): a libFuzzer program under ASan and UBSan, part of
# the `fuzzers` target and listed with its corpus in fuzz_targets.txt of the
# build directory, which scripts/fuzz.sh reads.
# Otherwise: the same entry point linked with a small driver that replays the
# corpus, registered as a test, so every build checks the seeds and every
# input that ever failed (kept in the corpus' crashes/ by scripts/fuzz.sh).
if(NERELLE_FUZZ)
  add_custom_target(fuzzers)
  file(WRITE ${PROJECT_BINARY_DIR}/fuzz_targets.txt "")
endif()
function(nerelle_fuzzer name)
  cmake_parse_arguments(A "" "CORPUS" "SOURCES;DEPS" ${ARGN})
  add_executable(${name} ${A_SOURCES})
  target_link_libraries(${name} PRIVATE ${A_DEPS})
  if(NERELLE_FUZZ)
    target_compile_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
    add_dependencies(fuzzers ${name})
    # One line a target, tab-separated: name, program, corpus directory.
    file(APPEND ${PROJECT_BINARY_DIR}/fuzz_targets.txt "${name}\t${CMAKE_CURRENT_BINARY_DIR}/${name}\t${A_CORPUS}\n")
  else()
    target_sources(${name} PRIVATE ${PROJECT_SOURCE_DIR}/fuzz/replay_main.cpp)
    target_compile_options(${name} PRIVATE ${NERELLE_WARNINGS})
    if(NERELLE_TESTS AND A_CORPUS)
      add_test(NAME fuzz_replay.${name} COMMAND ${name} ${A_CORPUS})
    endif()
  endif()
endfunction()

# Adds every direct subdirectory of <dir> that has a CMakeLists.txt, so each
# subsystem keeps its tools, benchmarks and fuzzers in a folder of its own.
function(nerelle_add_subdirs dir)
  file(GLOB children RELATIVE ${PROJECT_SOURCE_DIR}/${dir} ${PROJECT_SOURCE_DIR}/${dir}/*)
  list(SORT children)
  foreach(child ${children})
    if(EXISTS ${PROJECT_SOURCE_DIR}/${dir}/${child}/CMakeLists.txt)
      add_subdirectory(${PROJECT_SOURCE_DIR}/${dir}/${child} ${PROJECT_BINARY_DIR}/${dir}/${child})
    endif()
  endforeach()
endfunction()
