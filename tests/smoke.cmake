# Runs PROGRAM without arguments: it must exit with status 1 and print a
# line starting "Usage: " on standard error, and nothing on standard output.
execute_process(COMMAND ${PROGRAM} RESULT_VARIABLE status
                OUTPUT_VARIABLE out ERROR_VARIABLE err INPUT_FILE /dev/null)
if(NOT status EQUAL 1)
  message(FATAL_ERROR "${NAME}: exit status ${status}, want 1")
endif()
if(NOT err MATCHES "(^|\n)Usage: ")
  message(FATAL_ERROR "${NAME}: no usage line on stderr: ${err}")
endif()
if(NOT out STREQUAL "")
  message(FATAL_ERROR "${NAME}: unexpected stdout: ${out}")
endif()
