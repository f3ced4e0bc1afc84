# The fuzz targets, built with clang apart from the main build and each run
# briefly over its seeds, when clang and its libFuzzer runtime are installed
# (they are not required: without them the tests are left out or skipped).
# The sanitizer builds leave them out: the fuzzers carry their own sanitizers.
option(RAVELIN_FUZZ_SMOKE "Build the fuzz targets with clang and run them briefly in the test suite" ON)
if(RAVELIN_FUZZ_SMOKE AND NOT RAVELIN_SANITIZE)
  find_program(RAVELIN_CLANGXX NAMES clang++ clang++-19 clang++-18 clang++-17 clang++-16 clang++-15 clang++-14)
  if(RAVELIN_CLANGXX)
    set(fuzz_args -DCLANGXX=${RAVELIN_CLANGXX} -DSOURCE=${CMAKE_CURRENT_LIST_DIR}
      -DBUILD=${CMAKE_CURRENT_BINARY_DIR}/fuzz)
    add_test(NAME fuzz_build COMMAND ${CMAKE_COMMAND} ${fuzz_args} -P ${CMAKE_CURRENT_LIST_DIR}/smoke.cmake)
    set_tests_properties(fuzz_build PROPERTIES FIXTURES_SETUP fuzz_targets
      SKIP_REGULAR_EXPRESSION "fuzz smoke test skipped" TIMEOUT 900)
    # Each run takes some 20 to 30 seconds on one core.
    foreach(run "stream_reader 20000 4096 64" "string_ops 8000 1024 256" "file_walk 20000 256 256"
                "argument_parser 40000 512 64")
      separate_arguments(run)
      list(GET run 0 name)
      list(GET run 1 runs)
      list(GET run 2 max_len)
      list(GET run 3 malloc_mb)
      add_test(NAME fuzz_${name}_smoke COMMAND ${CMAKE_COMMAND} ${fuzz_args} -DTARGET=${name}_fuzzer
        -DRUNS=${runs} -DMAX_LEN=${max_len} -DEXTRA=-malloc_limit_mb=${malloc_mb} -P ${CMAKE_CURRENT_LIST_DIR}/smoke.cmake)
      set_tests_properties(fuzz_${name}_smoke PROPERTIES FIXTURES_REQUIRED fuzz_targets
        SKIP_REGULAR_EXPRESSION "fuzz smoke test skipped" TIMEOUT 300)
    endforeach()
  else()
    message(STATUS "clang++ not found: the fuzz smoke tests are left out")
  endif()
endif()
