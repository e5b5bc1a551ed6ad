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

# --help alone: the usage line on stdout, a line for every option the usage
# line names, the manual page to read; status 0. --version: the name, the
# suite's and its version.
execute_process(COMMAND ${PROGRAM} --help RESULT_VARIABLE status
                OUTPUT_VARIABLE out ERROR_VARIABLE err INPUT_FILE /dev/null)
if(NOT status EQUAL 0 OR NOT err STREQUAL "")
  message(FATAL_ERROR "${NAME} --help: status ${status}, stderr ${err}")
endif()
if(NOT out MATCHES "^(Usage: [^\n]*)\n" OR NOT out MATCHES "\nManual page: ${NAME}\\(1\\)\n$")
  message(FATAL_ERROR "${NAME} --help: ${out}")
endif()
string(REGEX MATCHALL "\\[-[a-z]" letters "${CMAKE_MATCH_1}")
foreach(l ${letters})
  string(SUBSTRING "${l}" 2 1 l)
  if(NOT out MATCHES "\n  -${l} ${l}val  [^\n]+ \\(default [^\n]+\\)\n")
    message(FATAL_ERROR "${NAME} --help does not describe -${l}: ${out}")
  endif()
endforeach()
execute_process(COMMAND ${PROGRAM} --version RESULT_VARIABLE status
                OUTPUT_VARIABLE out ERROR_VARIABLE err INPUT_FILE /dev/null)
if(NOT status EQUAL 0 OR NOT out STREQUAL "${NAME} (${SUITE}) ${VERSION}\n")
  message(FATAL_ERROR "${NAME} --version: status ${status}: ${out}${err}")
endif()
