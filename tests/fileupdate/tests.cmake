# The file update over a sparse file of more than 4 GiB: minutes of disk
# work, so it runs only when asked for:
#   RAVELIN_SLOW_TESTS=1 ctest --test-dir build -L slow
# Without the variable the test reports itself skipped at once.
if(TARGET ravelin_internal_tests)
  add_test(NAME fileupdate_large_files COMMAND ravelin_internal_tests --gtest_filter=FileUpdateSlow.*)
  set_tests_properties(fileupdate_large_files PROPERTIES LABELS slow TIMEOUT 1800)
endif()
