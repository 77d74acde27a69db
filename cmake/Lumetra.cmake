# Helpers shared by the project's CMake files.

# CTest starts the tests it knows to be long first, from the costs it measured in earlier
# runs of the build directory. A fresh build directory has none, so it starts from the
# costs in test-costs.txt (name, runs, seconds: the slow tests of a sanitizer build); a
# directory that has its own keeps them.
set(LUMETRA_COST_DATA ${CMAKE_BINARY_DIR}/Testing/Temporary/CTestCostData.txt)
if(NOT EXISTS ${LUMETRA_COST_DATA})
  configure_file(${CMAKE_CURRENT_LIST_DIR}/test-costs.txt ${LUMETRA_COST_DATA} COPYONLY)
endif()

# lumetra_library(NAME [DEPS lib...] [PKG pkgconfig-module...])
# One static library per directory: every .cpp of the calling directory is compiled in
# (subdirectories are libraries or modules of their own). Headers are included as "library/Unit.h" from src/.
# DEPS are the project's libraries whose headers this library's headers include (PUBLIC);
# PKG are the Debian packages it is built on (PkgConfig::<module>, PRIVATE: a consumer that
# includes a package's headers links the package itself).
function(lumetra_library name)
  cmake_parse_arguments(ARG "" "" "DEPS;PKG" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(NOT sources)
    message(FATAL_ERROR "lumetra_library(${name}): no .cpp in ${CMAKE_CURRENT_SOURCE_DIR}")
  endif()
  add_library(${name} STATIC ${sources})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(${name} PUBLIC ${ARG_DEPS} Threads::Threads)
  foreach(pkg ${ARG_PKG})
    target_link_libraries(${name} PRIVATE PkgConfig::${pkg})
  endforeach()
endfunction()

# lumetra_tests(LABEL [DEPS lib...] [SERIAL gtest-filter])
# One GoogleTest executable per library, LABEL_tests, from every .cpp of the calling
# directory; each test case becomes a CTest test labelled with the library's name. Test
# cases that match the SERIAL filter (those that measure time on a real clock against a
# real X server) run alone, so that a busy test run cannot stretch what they measure.
function(lumetra_tests label)
  cmake_parse_arguments(ARG "" "SERIAL" "DEPS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(NOT sources)
    message(FATAL_ERROR "lumetra_tests(${label}): no .cpp in ${CMAKE_CURRENT_SOURCE_DIR}")
  endif()
  set(exe ${label}_tests)
  add_executable(${exe} ${sources})
  target_link_libraries(${exe} PRIVATE ${ARG_DEPS} GTest::gtest GTest::gmock GTest::gtest_main)
  target_compile_definitions(${exe} PRIVATE
    LUMETRA_TEST_DATA="${CMAKE_CURRENT_SOURCE_DIR}/data"
    LUMETRA_BINARY_DIR="${PROJECT_BINARY_DIR}")
  if(ARG_SERIAL)
    gtest_discover_tests(${exe}
      DISCOVERY_MODE PRE_TEST
      DISCOVERY_TIMEOUT 60
      TEST_FILTER "-${ARG_SERIAL}"
      PROPERTIES LABELS ${label} TIMEOUT 300
      WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
    gtest_discover_tests(${exe}
      DISCOVERY_MODE PRE_TEST
      DISCOVERY_TIMEOUT 60
      TEST_FILTER "${ARG_SERIAL}"
      TEST_SUFFIX ".serial"
      PROPERTIES LABELS ${label} TIMEOUT 300 RUN_SERIAL TRUE
      WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
  else()
    gtest_discover_tests(${exe}
      DISCOVERY_MODE PRE_TEST
      DISCOVERY_TIMEOUT 60
      PROPERTIES LABELS ${label} TIMEOUT 300
      WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
  endif()
endfunction()

# lumetra_fuzz_target(NAME LABEL label [DEPS lib...])
# The libFuzzer entry point fuzz/NAME_fuzz.cpp, whose seed corpus is fuzz/corpus/NAME/.
# With the tests it is linked with a replay driver that feeds it every file of its corpus,
# and the replay is a CTest test labelled LABEL; with LUMETRA_FUZZ it is linked with
# libFuzzer as NAME_fuzz (scripts/fuzz runs those).
function(lumetra_fuzz_target name)
  cmake_parse_arguments(ARG "" "LABEL" "DEPS" ${ARGN})
  if(NOT ARG_LABEL)
    message(FATAL_ERROR "lumetra_fuzz_target(${name}): LABEL is missing")
  endif()
  set(source ${PROJECT_SOURCE_DIR}/fuzz/${name}_fuzz.cpp)
  set(corpus ${PROJECT_SOURCE_DIR}/fuzz/corpus/${name})
  if(NOT EXISTS ${source} OR NOT IS_DIRECTORY ${corpus})
    message(FATAL_ERROR "lumetra_fuzz_target(${name}): needs ${source} and ${corpus}/")
  endif()
  set_property(GLOBAL APPEND PROPERTY LUMETRA_FUZZ_TARGETS ${name})
  if(LUMETRA_TESTS)
    add_executable(${name}_replay ${source} ${PROJECT_SOURCE_DIR}/fuzz/replay_main.cpp)
    target_link_libraries(${name}_replay PRIVATE ${ARG_DEPS})
    add_test(NAME fuzz.${name} COMMAND ${name}_replay ${corpus})
    set_tests_properties(fuzz.${name} PROPERTIES LABELS ${ARG_LABEL} TIMEOUT 300)
  endif()
  if(LUMETRA_FUZZ)
    add_executable(${name}_fuzz ${source})
    target_link_options(${name}_fuzz PRIVATE -fsanitize=fuzzer)
    target_link_libraries(${name}_fuzz PRIVATE ${ARG_DEPS})
  endif()
endfunction()
