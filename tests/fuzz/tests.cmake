# The stream-reader fuzzer, built with clang apart from the main build and run
# briefly over its seeds, when clang and its libFuzzer runtime are installed
# (they are not required: without them the test is left out or skipped). The
# sanitizer build leaves it out: the fuzzer carries its own sanitizers.
option(RAVELIN_FUZZ_SMOKE "Build the fuzz targets with clang and run them briefly in the test suite" ON)
if(RAVELIN_FUZZ_SMOKE AND NOT RAVELIN_SANITIZE)
  find_program(RAVELIN_CLANGXX NAMES clang++ clang++-19 clang++-18 clang++-17 clang++-16 clang++-15 clang++-14)
  if(RAVELIN_CLANGXX)
    add_test(NAME fuzz_stream_reader_smoke COMMAND ${CMAKE_COMMAND}
      -DCLANGXX=${RAVELIN_CLANGXX} -DSOURCE=${CMAKE_CURRENT_LIST_DIR}
      -DBUILD=${CMAKE_CURRENT_BINARY_DIR}/fuzz -P ${CMAKE_CURRENT_LIST_DIR}/smoke.cmake)
    set_tests_properties(fuzz_stream_reader_smoke PROPERTIES
      SKIP_REGULAR_EXPRESSION "fuzz smoke test skipped" TIMEOUT 900)
  else()
    message(STATUS "clang++ not found: the fuzz smoke test is left out")
  endif()
endif()
