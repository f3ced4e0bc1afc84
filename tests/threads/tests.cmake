# libravelin.so on several threads at once (see threads_test.cpp). Linked
# against the threads library only: the solo library is for one thread.
add_executable(ravelin_threads_test ${CMAKE_CURRENT_LIST_DIR}/threads_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/../support/temp_dir.cpp)
target_include_directories(ravelin_threads_test PRIVATE ${CMAKE_CURRENT_LIST_DIR}/..)
target_link_libraries(ravelin_threads_test PRIVATE ravelin GTest::gtest GTest::gtest_main Threads::Threads)
add_test(NAME ravelin_threads_test COMMAND ravelin_threads_test)
set_tests_properties(ravelin_threads_test PROPERTIES LABELS threads TIMEOUT 600)
