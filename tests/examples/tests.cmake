# The examples, built against the installed package.
if(RAVELIN_PACKAGE_TESTS AND TARGET ravelin_cli)
  add_test(NAME examples_installed
    COMMAND sh ${CMAKE_CURRENT_LIST_DIR}/check_examples.sh ${PROJECT_BINARY_DIR} ${PROJECT_SOURCE_DIR})
  # Installing from the build tree at the same time as another test that does.
  set_tests_properties(examples_installed PROPERTIES RUN_SERIAL TRUE)
endif()
