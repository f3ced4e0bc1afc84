# A record written through either library is the same byte for byte and reads
# back in the other.
#
# cmake -DTHREADS_PROGRAM=<frame_record linked to libravelin>
#       -DSOLO_PROGRAM=<frame_record linked to libravelinsolo> -DDIR=<scratch dir> -P record.cmake
cmake_minimum_required(VERSION 3.20)

file(MAKE_DIRECTORY "${DIR}")
function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${ARGN}: exit ${rc}\n${out}${err}")
  endif()
endfunction()

run("${THREADS_PROGRAM}" write "${DIR}/threads.rec")
run("${SOLO_PROGRAM}" write "${DIR}/solo.rec")
file(READ "${DIR}/threads.rec" threads HEX)
file(READ "${DIR}/solo.rec" solo HEX)
if(NOT threads STREQUAL solo)
  message(FATAL_ERROR "the two libraries write different records:\n${threads}\n${solo}")
endif()
run("${SOLO_PROGRAM}" read "${DIR}/threads.rec")
run("${THREADS_PROGRAM}" read "${DIR}/solo.rec")
message(STATUS "records travel between the two libraries")
