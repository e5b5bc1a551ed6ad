# Installs BUILD_DIR into a fresh PREFIX, runs one installed program and
# checks that every installed program has its manual page beside it.
file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX}
                RESULT_VARIABLE status OUTPUT_QUIET ERROR_VARIABLE err)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "install failed (${status}): ${err}")
endif()

execute_process(COMMAND ${PREFIX}/${BINDIR}/radbright RESULT_VARIABLE status
                OUTPUT_VARIABLE out ERROR_VARIABLE err INPUT_FILE /dev/null)
if(NOT status EQUAL 1 OR NOT err MATCHES "^Usage: radbright " OR NOT out STREQUAL "")
  message(FATAL_ERROR "installed radbright: status ${status}, stdout '${out}', stderr '${err}'")
endif()

file(GLOB programs RELATIVE ${PREFIX}/${BINDIR} ${PREFIX}/${BINDIR}/*)
set(missing "")
foreach(program ${programs})
  if(NOT EXISTS ${PREFIX}/${MANDIR}/man1/${program}.1)
    list(APPEND missing ${program})
  endif()
endforeach()
if(missing)
  message(FATAL_ERROR "installed without a manual page: ${missing}")
endif()
file(REMOVE_RECURSE ${PREFIX})
