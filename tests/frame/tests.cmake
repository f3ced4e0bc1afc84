# The library frame: what each library exports, the thread-specific key that
# lives from load to unload, and records that travel between the libraries.
set(RAVELIN_FRAME_DIR ${CMAKE_CURRENT_LIST_DIR})

find_program(RAVELIN_NM NAMES nm ${CMAKE_NM})
if(RAVELIN_NM)
  add_test(NAME frame_exports COMMAND ${CMAKE_COMMAND}
    -DNM=${RAVELIN_NM} -DTHREADS_LIB=$<TARGET_FILE:ravelin> -DSOLO_LIB=$<TARGET_FILE:ravelinsolo>
    -P ${RAVELIN_FRAME_DIR}/exports.cmake)
else()
  message(STATUS "nm not found: the export-list test is left out")
endif()

# Counts keys through interposed pthread functions: the program exports them so
# that the library loaded with dlopen binds to them.
add_executable(frame_keys ${RAVELIN_FRAME_DIR}/frame_keys.cpp)
set_target_properties(frame_keys PROPERTIES ENABLE_EXPORTS ON)
target_link_libraries(frame_keys PRIVATE ${CMAKE_DL_LIBS} Threads::Threads)
add_dependencies(frame_keys ravelin ravelinsolo)
add_test(NAME frame_keys_threads COMMAND frame_keys $<TARGET_FILE:ravelin> 1)
add_test(NAME frame_keys_solo COMMAND frame_keys $<TARGET_FILE:ravelinsolo> 0)

foreach(lib ravelin ravelinsolo)
  add_executable(frame_record_${lib} ${RAVELIN_FRAME_DIR}/frame_record.cpp)
  target_link_libraries(frame_record_${lib} PRIVATE ${lib})
endforeach()
add_test(NAME frame_record_travels COMMAND ${CMAKE_COMMAND}
  -DTHREADS_PROGRAM=$<TARGET_FILE:frame_record_ravelin>
  -DSOLO_PROGRAM=$<TARGET_FILE:frame_record_ravelinsolo>
  -DDIR=${CMAKE_CURRENT_BINARY_DIR}/frame_record
  -P ${RAVELIN_FRAME_DIR}/record.cmake)
