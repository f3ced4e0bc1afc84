# The Debian packages (cmake/RavelinPackage.cmake), unpacked and used from
# outside the tree. Needs dpkg-deb, and the command built.
find_program(RAVELIN_DPKG_DEB dpkg-deb)
if(RAVELIN_PACKAGE_TESTS AND RAVELIN_BUILD_TOOLS AND RAVELIN_DPKG_DEB)
  add_test(NAME deb_packages
    COMMAND sh ${CMAKE_CURRENT_LIST_DIR}/check_deb.sh ${PROJECT_BINARY_DIR} ${PROJECT_SOURCE_DIR})
  set_tests_properties(deb_packages PROPERTIES RUN_SERIAL TRUE TIMEOUT 600)
endif()
