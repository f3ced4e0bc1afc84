# Builds the fuzz targets with clang and runs the stream-reader fuzzer for a
# fixed number of inputs from its seeds. Prints "fuzz smoke test skipped" when
# clang cannot link a libFuzzer program here.
#
# cmake -DCLANGXX=<clang++> -DSOURCE=<tests/fuzz> -DBUILD=<scratch dir> -P smoke.cmake
cmake_minimum_required(VERSION 3.20)

file(MAKE_DIRECTORY "${BUILD}")
file(WRITE "${BUILD}/probe.cpp"
  "#include <cstddef>\n#include <cstdint>\n"
  "extern \"C\" int LLVMFuzzerTestOneInput(const std::uint8_t*, std::size_t) { return 0; }\n")
execute_process(
  COMMAND "${CLANGXX}" -fsanitize=fuzzer,address,undefined "${BUILD}/probe.cpp" -o "${BUILD}/probe"
  RESULT_VARIABLE rc OUTPUT_QUIET ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(STATUS "${CLANGXX} cannot link a libFuzzer program (is its runtime installed?):\n${err}")
  message(STATUS "fuzz smoke test skipped")
  return()
endif()

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${ARGN}: exit ${rc}\n${out}\n${err}")
  endif()
endfunction()

run("${CMAKE_COMMAND}" -S "${SOURCE}" -B "${BUILD}/build" "-DCMAKE_CXX_COMPILER=${CLANGXX}"
  -DCMAKE_BUILD_TYPE=RelWithDebInfo)
run("${CMAKE_COMMAND}" --build "${BUILD}/build" --parallel 2)

# New inputs go to a scratch directory; the seeds stay as they are.
file(REMOVE_RECURSE "${BUILD}/corpus")
file(MAKE_DIRECTORY "${BUILD}/corpus")
run("${BUILD}/build/stream_reader_fuzzer" "${BUILD}/corpus" "${SOURCE}/corpus/stream_reader"
  -runs=20000 -seed=1 -max_len=4096 -rss_limit_mb=512 -malloc_limit_mb=64)
message(STATUS "stream reader fuzzed over 20000 inputs without a finding")
