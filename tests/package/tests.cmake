# The installed package, used from outside the tree.
if(RAVELIN_PACKAGE_TESTS)
  add_test(NAME package_consumers
    COMMAND sh ${CMAKE_CURRENT_LIST_DIR}/check_package.sh ${PROJECT_BINARY_DIR} ${PROJECT_SOURCE_DIR})
  set_tests_properties(package_consumers PROPERTIES RUN_SERIAL TRUE)
endif()
