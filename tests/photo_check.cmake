# Runs tools/photo.sh as a user would: on a tiny PNG (made by radexport from
# the sample photograph shrunk to 16x8 by exrshrink) it must write a PNG of
# the same size; on a file that is neither PNG nor JPEG it must fail and
# write nothing.
set(work ${WORK_DIR})
file(REMOVE_RECURSE ${work})
file(MAKE_DIRECTORY ${work})

function(run_ok)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status OUTPUT_QUIET ERROR_VARIABLE err)
  if(NOT status EQUAL 0)
    list(JOIN ARGN " " command)
    message(FATAL_ERROR "${command}: status ${status}: ${err}")
  endif()
endfunction()

run_ok(${SHRINK} ${SOURCE_DIR}/data/forest.exr ${work}/small.exr 64)
run_ok(${BIN_DIR}/radexport ${work}/small.exr ${work}/small.png)

run_ok(${CMAKE_COMMAND} -E env SUITE_BIN=${BIN_DIR}
       bash ${SOURCE_DIR}/tools/photo.sh ${work}/small.png ${work}/mapped.png)
# PNG signature, then the IHDR chunk: width 16 and height 8, big-endian.
file(READ ${work}/mapped.png head HEX LIMIT 24)
if(NOT head STREQUAL "89504e470d0a1a0a0000000d494844520000001000000008")
  message(FATAL_ERROR "photo.sh wrote no 16x8 PNG: ${head}")
endif()
# The whole file decodes, and the picture was changed on the way.
run_ok(${BIN_DIR}/radraster ${work}/mapped.png ${work}/mapped.exr)
file(SHA256 ${work}/small.png before)
file(SHA256 ${work}/mapped.png after)
if(before STREQUAL after)
  message(FATAL_ERROR "photo.sh wrote its input unchanged")
endif()

execute_process(COMMAND ${CMAKE_COMMAND} -E env SUITE_BIN=${BIN_DIR}
                        bash ${SOURCE_DIR}/tools/photo.sh ${work}/small.exr ${work}/refused.png
                RESULT_VARIABLE status OUTPUT_QUIET ERROR_VARIABLE err)
if(status EQUAL 0 OR EXISTS ${work}/refused.png
   OR NOT err MATCHES "is neither a PNG nor a JPEG file")
  message(FATAL_ERROR "photo.sh on an EXR file: status ${status}, stderr '${err}'")
endif()
file(REMOVE_RECURSE ${work})
