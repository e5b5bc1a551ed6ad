# Checks that the SYNOPSIS of PAGE and the usage line of PROGRAM (run without
# arguments) name the same option letters: every option the page shows is
# one the program takes, and every option the program lists is documented.
if(NOT EXISTS ${PROGRAM})
  message(FATAL_ERROR "${PROGRAM} has not been built")
endif()
execute_process(COMMAND ${PROGRAM} ERROR_VARIABLE err OUTPUT_QUIET
                RESULT_VARIABLE status INPUT_FILE /dev/null)
if(NOT err MATCHES "(^|\n)(Usage: [^\n]*)")
  message(FATAL_ERROR "${PROGRAM} printed no usage line: ${err}")
endif()
set(usage "${CMAKE_MATCH_2}")

file(READ ${PAGE} text)
if(NOT text MATCHES "\n\\.SH SYNOPSIS\n(.*)")
  message(FATAL_ERROR "${PAGE} has no SYNOPSIS")
endif()
set(synopsis "${CMAKE_MATCH_1}")
string(FIND "${synopsis}" "\n.SH " end)
string(SUBSTRING "${synopsis}" 0 ${end} synopsis)

# An option is a minus (\- in roff) and a letter at the start of a word, so
# the hyphen inside a name such as radmask\-cone is not one. Brackets become
# spaces first: CMake does not split a list inside unbalanced brackets.
string(REPLACE "[" " " synopsis "${synopsis}")
string(REPLACE "[" " " usage "${usage}")
string(REGEX MATCHALL "[ \n]\\\\-[A-Za-z]" page_opts "${synopsis}")
string(REGEX MATCHALL " -[A-Za-z]" usage_opts "${usage}")
set(page_letters "")
foreach(o ${page_opts})
  string(REGEX REPLACE ".*-" "" o "${o}")
  list(APPEND page_letters ${o})
endforeach()
set(usage_letters "")
foreach(o ${usage_opts})
  string(REGEX REPLACE ".*-" "" o "${o}")
  list(APPEND usage_letters ${o})
endforeach()
list(SORT page_letters)
list(SORT usage_letters)
if(NOT page_letters STREQUAL usage_letters)
  message(FATAL_ERROR "options in ${PAGE}: '${page_letters}'; "
                      "in the usage line of ${PROGRAM}: '${usage_letters}'")
endif()
