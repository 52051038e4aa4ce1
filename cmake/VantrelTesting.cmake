# Helpers for the test suite: GoogleTest executables registered with CTest
# under a label, and fuzz targets that double as regression tests.

include(CTest)

if(VANTREL_BUILD_TESTS)
  find_package(GTest REQUIRED)
  include(GoogleTest)
endif()

# vantrel_add_gtest(NAME LABEL <label> SOURCES ... [LIBS ...] [ENV ...] [TIMEOUT s])
function(vantrel_add_gtest name)
  cmake_parse_arguments(T "" "LABEL;TIMEOUT" "SOURCES;LIBS;ENV" ${ARGN})
  if(NOT VANTREL_BUILD_TESTS)
    return()
  endif()
  if(NOT T_LABEL)
    set(T_LABEL unit)
  endif()
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main GTest::gmock)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/tests)
  target_compile_definitions(${name} PRIVATE
    VANTREL_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
    VANTREL_BINARY_DIR="${PROJECT_BINARY_DIR}")
  gtest_discover_tests(${name}
    PROPERTIES LABELS ${T_LABEL} TIMEOUT ${T_TIMEOUT} ENVIRONMENT "${T_ENV}"
    DISCOVERY_TIMEOUT 60)
endfunction()

# vantrel_add_fuzzer(NAME SOURCES ... [LIBS ...] [SEEDS dir])
# With VANTREL_FUZZ (clang) the target links libFuzzer; otherwise it links a
# small driver that replays the seed files and a batch of pseudo-random inputs,
# so every ordinary build runs each fuzz target as a regression test.
function(vantrel_add_fuzzer name)
  cmake_parse_arguments(F "" "SEEDS" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${F_SOURCES})
  target_link_libraries(${name} PRIVATE ${F_LIBS})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/tests)
  if(VANTREL_FUZZ)
    target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  else()
    target_sources(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests/support/fuzz_driver.cpp)
    if(VANTREL_BUILD_TESTS)
      set(seed_dir "")
      if(F_SEEDS)
        set(seed_dir ${F_SEEDS})
      endif()
      add_test(NAME ${name} COMMAND ${name} ${seed_dir})
      set_tests_properties(${name} PROPERTIES LABELS unit TIMEOUT 300)
    endif()
  endif()
  set_property(GLOBAL APPEND PROPERTY VANTREL_FUZZERS ${name})
endfunction()
