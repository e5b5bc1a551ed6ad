# run_ok(command args...): runs a command and stops the script with its
# output when it fails. Included by the scripts that build and package.
function(run_ok)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT status EQUAL 0)
    list(JOIN ARGN " " command)
    message(FATAL_ERROR "${command}: status ${status}:\n${out}\n${err}")
  endif()
endfunction()
