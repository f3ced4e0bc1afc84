# Builds the fuzz targets with clang and runs one of them for a fixed number
# of inputs from its seeds. Prints "fuzz smoke test skipped" when clang cannot
# link a libFuzzer program here.
#
# cmake -DCLANGXX=<clang++> -DSOURCE=<tests/fuzz> -DBUILD=<scratch dir> -DTARGET=<name>
#       -DRUNS=<count> [-DMAX_LEN=<bytes>] [-DEXTRA=<flags;...>] -P smoke.cmake
#
# TARGET empty: only build (the fixture the runs share).
cmake_minimum_required(VERSION 3.20)

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${ARGN}: exit ${rc}\n${out}\n${err}")
  endif()
endfunction()

if(NOT TARGET)
  file(MAKE_DIRECTORY "${BUILD}")
  file(REMOVE "${BUILD}/usable")
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
  run("${CMAKE_COMMAND}" -S "${SOURCE}" -B "${BUILD}/build" "-DCMAKE_CXX_COMPILER=${CLANGXX}"
    -DCMAKE_BUILD_TYPE=RelWithDebInfo)
  run("${CMAKE_COMMAND}" --build "${BUILD}/build" --parallel 2)
  file(WRITE "${BUILD}/usable" "")
  message(STATUS "fuzz targets built")
  return()
endif()

if(NOT EXISTS "${BUILD}/usable")
  message(STATUS "fuzz smoke test skipped: the targets were not built")
  return()
endif()
if(NOT MAX_LEN)
  set(MAX_LEN 4096)
endif()
# New inputs go to a scratch directory; the seeds stay as they are.
string(REPLACE "_fuzzer" "" corpus_name "${TARGET}")
set(scratch "${BUILD}/corpus-${corpus_name}")
file(REMOVE_RECURSE "${scratch}")
file(MAKE_DIRECTORY "${scratch}")
run("${BUILD}/build/${TARGET}" "${scratch}" "${SOURCE}/corpus/${corpus_name}"
  -runs=${RUNS} -seed=1 -max_len=${MAX_LEN} -rss_limit_mb=1024 -timeout=30 "-artifact_prefix=${BUILD}/" ${EXTRA})
message(STATUS "${TARGET} ran over ${RUNS} inputs without a finding")
