# Compile settings shared by the library objects.
function(ravelin_setup_objects target)
  set_target_properties(${target} PROPERTIES
    POSITION_INDEPENDENT_CODE ON
    CXX_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON)
  target_compile_definitions(${target} PRIVATE RAVELIN_BUILDING)
  target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR}/include)
  target_link_libraries(${target} PRIVATE Boost::regex)
  ravelin_use_scanner(${target})
endfunction()

# The prefilter's scanner, when the build found it.
function(ravelin_use_scanner target)
  if(RAVELIN_HS_FOUND AND TARGET PkgConfig::RAVELIN_HS)
    target_link_libraries(${target} PRIVATE PkgConfig::RAVELIN_HS)
    target_compile_definitions(${target} PRIVATE RAVELIN_HAVE_HS)
  endif()
endfunction()

# One shared library from the common objects and its own stack-slot source.
function(ravelin_add_library name slot_source)
  add_library(${name} SHARED $<TARGET_OBJECTS:ravelin_objects> ${slot_source})
  add_library(Ravelin::${name} ALIAS ${name})
  ravelin_setup_objects(${name})
  set_target_properties(${name} PROPERTIES
    VERSION ${PROJECT_VERSION}
    SOVERSION ${PROJECT_VERSION_MAJOR}
    EXPORT_NAME ${name}
    LINK_DEPENDS ${PROJECT_SOURCE_DIR}/cmake/ravelin.map)
  target_include_directories(${name} PUBLIC
    $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/include>
    $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
  # Only the public interface leaves the library; the version script also
  # fences off the engine's type information that visibility alone exports.
  target_link_options(${name} PRIVATE
    -Wl,--version-script=${PROJECT_SOURCE_DIR}/cmake/ravelin.map -Wl,--no-undefined)
endfunction()
