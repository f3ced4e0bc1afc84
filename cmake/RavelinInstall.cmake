# Installs the header, both libraries, the CMake package and pkg-config files.
include(CMakePackageConfigHelpers)

# Components, one Debian package each (cmake/RavelinPackage.cmake): runtime
# (the shared libraries), dev (header, link names, CMake package, pkg-config
# files) and command (the ravelin command, installed from tools/ravelin).
install(TARGETS ravelin ravelinsolo EXPORT RavelinTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT dev
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT dev
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime)
install(FILES ${PROJECT_SOURCE_DIR}/include/ravelin/RegularExpression.h
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/ravelin COMPONENT dev)

set(RAVELIN_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Ravelin)
install(EXPORT RavelinTargets NAMESPACE Ravelin:: DESTINATION ${RAVELIN_CMAKE_DIR} COMPONENT dev)
export(EXPORT RavelinTargets NAMESPACE Ravelin:: FILE ${PROJECT_BINARY_DIR}/RavelinTargets.cmake)
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/RavelinConfig.cmake.in
  ${PROJECT_BINARY_DIR}/RavelinConfig.cmake INSTALL_DESTINATION ${RAVELIN_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/RavelinConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/RavelinConfig.cmake ${PROJECT_BINARY_DIR}/RavelinConfigVersion.cmake
  DESTINATION ${RAVELIN_CMAKE_DIR} COMPONENT dev)

# One .pc file per library, from one template. The prefix is found from the
# file's own place, so an installed tree can be moved.
set(RAVELIN_PC_PREFIX "\${pcfiledir}/..")
if(NOT IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}")
  string(REPLACE "/" ";" libdir_parts "${CMAKE_INSTALL_LIBDIR}")
  foreach(part ${libdir_parts})
    string(APPEND RAVELIN_PC_PREFIX "/..")
  endforeach()
else()
  set(RAVELIN_PC_PREFIX "${CMAKE_INSTALL_PREFIX}")
endif()
foreach(lib ravelin ravelinsolo)
  set(RAVELIN_PC_LIB ${lib})
  if(IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}")
    set(RAVELIN_PC_LIBDIR "${CMAKE_INSTALL_LIBDIR}")
  else()
    set(RAVELIN_PC_LIBDIR "\${prefix}/${CMAKE_INSTALL_LIBDIR}")
  endif()
  if(IS_ABSOLUTE "${CMAKE_INSTALL_INCLUDEDIR}")
    set(RAVELIN_PC_INCLUDEDIR "${CMAKE_INSTALL_INCLUDEDIR}")
  else()
    set(RAVELIN_PC_INCLUDEDIR "\${prefix}/${CMAKE_INSTALL_INCLUDEDIR}")
  endif()
  configure_file(${PROJECT_SOURCE_DIR}/cmake/ravelin.pc.in ${PROJECT_BINARY_DIR}/${lib}.pc @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/${lib}.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT dev)
endforeach()
