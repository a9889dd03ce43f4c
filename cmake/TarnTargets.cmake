# Helpers that keep the per-folder CMakeLists short: every library, test, tool,
# benchmark and fuzz target is named after its folder.

set(TARN_SRC "${PROJECT_SOURCE_DIR}/src")

# tarn_library(NAME DIR [DEPS...]): src/DIR/*.cpp plus src/DIR/<os>/*.cpp
function(tarn_library name dir)
  file(GLOB sources CONFIGURE_DEPENDS "${TARN_SRC}/${dir}/*.cpp" "${TARN_SRC}/${dir}/${TARN_OS}/*.cpp")
  add_library(${name} STATIC ${sources})
  target_include_directories(${name} PUBLIC "${TARN_SRC}")
  if(ARGN)
    target_link_libraries(${name} PUBLIC ${ARGN})
  endif()
endfunction()

# tarn_test_support(): what every test program shares (tests/support), built
# once, with the precompiled headers the test programs take from it: the
# test framework and the standard library parts every test file uses.
function(tarn_test_support)
  add_library(tarn_test_support STATIC "${PROJECT_SOURCE_DIR}/tests/support/test_support.cpp")
  target_include_directories(tarn_test_support PUBLIC "${PROJECT_SOURCE_DIR}/tests")
  target_link_libraries(tarn_test_support PUBLIC tarn_platform GTest::gtest)
  # The same in every test program, so that each can take the precompiled
  # headers (the Qt programs are position-independent code). The test code
  # itself is not optimised: what it runs lies in the libraries, and the
  # optimiser took half of its compile time.
  target_compile_options(tarn_test_support PUBLIC -pthread -O0)
  if(NOT WIN32)
    set_target_properties(tarn_test_support PROPERTIES POSITION_INDEPENDENT_CODE ON)
    target_compile_options(tarn_test_support PUBLIC -fPIC)
  endif()
  target_precompile_headers(tarn_test_support PRIVATE
    <gtest/gtest.h> <algorithm> <functional> <map> <memory> <optional> <string> <string_view> <vector>)
endfunction()

# tarn_test(NAME DIR [LIBS...]): one test program per folder of tests/.
function(tarn_test name dir)
  file(GLOB sources CONFIGURE_DEPENDS "${PROJECT_SOURCE_DIR}/tests/${dir}/*.cpp")
  add_executable(${name} ${sources})
  target_link_libraries(${name} PRIVATE ${ARGN} tarn_test_support)
  target_precompile_headers(${name} REUSE_FROM tarn_test_support)
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES ENVIRONMENT "TARN_BIN_DIR=${TARN_BIN_DIR}" TIMEOUT 1200)
endfunction()

# tarn_tool(NAME [LIBS...]): tools/NAME/*.cpp
function(tarn_tool name)
  file(GLOB sources CONFIGURE_DEPENDS "${PROJECT_SOURCE_DIR}/tools/${name}/*.cpp")
  add_executable(${name} ${sources})
  target_link_libraries(${name} PRIVATE tarn_toolkit ${ARGN})
endfunction()

# tarn_fuzz(NAME [LIBS...]): fuzz/NAME.cpp holds LLVMFuzzerTestOneInput,
# fuzz/NAME_seeds.cpp writes the seed corpus with the project's own writers.
# Outside a fuzzing build the target is linked with a replay driver and its
# corpus is replayed as an ordinary test. What every target shares (the
# support code and the two drivers) is compiled once.
function(tarn_fuzz name)
  set(fuzz_dir "${PROJECT_SOURCE_DIR}/fuzz")
  if(NOT TARGET tarn_fuzz_support)
    add_library(tarn_fuzz_support STATIC "${fuzz_dir}/fuzz_support.cpp")
    target_include_directories(tarn_fuzz_support PUBLIC "${fuzz_dir}")
    target_link_libraries(tarn_fuzz_support PUBLIC tarn_platform)
    add_library(tarn_fuzz_seeds_main OBJECT "${fuzz_dir}/seeds_main.cpp")
    target_link_libraries(tarn_fuzz_seeds_main PRIVATE tarn_fuzz_support)
    if(NOT TARN_FUZZ)
      add_library(tarn_fuzz_replay_main OBJECT "${fuzz_dir}/replay_main.cpp")
      target_link_libraries(tarn_fuzz_replay_main PRIVATE tarn_fuzz_support)
    endif()
  endif()
  add_library(fuzz_${name}_seeds_lib STATIC "${fuzz_dir}/${name}_seeds.cpp")
  target_link_libraries(fuzz_${name}_seeds_lib PUBLIC ${ARGN} tarn_fuzz_support)
  add_executable(fuzz_${name}_seeds $<TARGET_OBJECTS:tarn_fuzz_seeds_main>)
  target_link_libraries(fuzz_${name}_seeds PRIVATE fuzz_${name}_seeds_lib)
  if(TARN_FUZZ)
    add_executable(fuzz_${name} "${fuzz_dir}/${name}.cpp")
    target_link_options(fuzz_${name} PRIVATE -fsanitize=fuzzer)
    target_link_libraries(fuzz_${name} PRIVATE ${ARGN} fuzz_${name}_seeds_lib)
  else()
    add_executable(fuzz_${name} "${fuzz_dir}/${name}.cpp" $<TARGET_OBJECTS:tarn_fuzz_replay_main>)
    target_link_libraries(fuzz_${name} PRIVATE ${ARGN} fuzz_${name}_seeds_lib)
    if(TARN_TESTS)
      # Inputs the long campaigns found are kept in fuzz/found/NAME and replayed too.
      set(found "${fuzz_dir}/found/${name}")
      if(NOT EXISTS "${found}")
        set(found)
      endif()
      add_test(NAME fuzz_replay_${name}
               COMMAND fuzz_${name} --seeds "${CMAKE_BINARY_DIR}/fuzz-seeds/${name}" ${found})
      set_tests_properties(fuzz_replay_${name} PROPERTIES TIMEOUT 600)
    endif()
  endif()
endfunction()

# tarn_bench(NAME [LIBS...]): bench/NAME.cpp, prints BENCH lines.
function(tarn_bench name)
  add_executable(bench_${name} "${PROJECT_SOURCE_DIR}/bench/${name}.cpp")
  target_include_directories(bench_${name} PRIVATE "${PROJECT_SOURCE_DIR}/bench")
  target_link_libraries(bench_${name} PRIVATE ${ARGN})
endfunction()
