# Debian packages with CPack (`make package`, or `cpack -G DEB` in a build
# directory): one per install component.
#   libravelin2     runtime  libravelin.so.2 and libravelinsolo.so.2
#   libravelin-dev  dev      header, link names, CMake package, pkg-config files
#   ravelin         command  the ravelin command and its man page
set(CPACK_PACKAGE_NAME ravelin)
set(CPACK_PACKAGE_VENDOR "Ravelin developers")
set(CPACK_PACKAGE_CONTACT "Ravelin developers <ravelin@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Regular expressions over 8-bit text and over files")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_GENERATOR DEB)

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL runtime dev)
if(RAVELIN_BUILD_TOOLS AND EXISTS ${PROJECT_SOURCE_DIR}/tools/ravelin/CMakeLists.txt)
  list(APPEND CPACK_COMPONENTS_ALL command)
endif()
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The command links the library of this build: dpkg-shlibdeps finds it here,
# and the component dependency below names its package.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${PROJECT_BINARY_DIR})
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)

set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME libravelin${PROJECT_VERSION_MAJOR})
set(CPACK_COMPONENT_RUNTIME_DESCRIPTION
  "Regular expressions over 8-bit text and over files: shared libraries\n libravelin.so (several threads) and libravelinsolo.so (one thread).")

set(CPACK_DEBIAN_DEV_PACKAGE_NAME libravelin-dev)
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_COMPONENT_DEV_DEPENDS runtime)
set(CPACK_COMPONENT_DEV_DESCRIPTION
  "Regular expressions over 8-bit text and over files: development files\n The header, the CMake package Ravelin and the pkg-config files ravelin and\n ravelinsolo.")

set(CPACK_DEBIAN_COMMAND_PACKAGE_NAME ravelin)
set(CPACK_DEBIAN_COMMAND_PACKAGE_SECTION utils)
set(CPACK_COMPONENT_COMMAND_DEPENDS runtime)
set(CPACK_COMPONENT_COMMAND_DESCRIPTION
  "Regular expressions over 8-bit text and over files: the ravelin command\n Match, search, grep and merge strings; find, grep and change files named by\n a wildcard file pattern.")

include(CPack)
