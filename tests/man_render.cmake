# Checks the manual pages in MAN_DIR: each renders under groff's man macros
# without a single warning, carries the sections every page needs, names the
# suite and its version SUITE (for example "radsuite 1.0") in its title line,
# and links only to pages that exist; every program in PROGRAMS (a list
# separated by commas) has its page.
set(problems "")
file(GLOB pages ${MAN_DIR}/*.1)
if(NOT pages)
  message(FATAL_ERROR "no manual pages in ${MAN_DIR}")
endif()

foreach(page ${pages})
  get_filename_component(name ${page} NAME_WE)
  execute_process(COMMAND groff -man -ww -z ${page}
                  RESULT_VARIABLE status ERROR_VARIABLE warnings)
  if(NOT status EQUAL 0 OR NOT warnings STREQUAL "")
    string(APPEND problems "${name}.1: groff status ${status}: ${warnings}\n")
  endif()
  file(READ ${page} text)
  foreach(section NAME SYNOPSIS DESCRIPTION "EXIT STATUS" EXAMPLE "SEE ALSO")
    string(FIND "${text}" "\n.SH ${section}\n" at)
    if(at EQUAL -1)
      string(APPEND problems "${name}.1: no ${section} section\n")
    endif()
  endforeach()
  # The title line names the page and the suite's version.
  string(TOUPPER "${name}" upper)
  string(REPLACE "-" "\\\\-" upper_re "${upper}")
  string(REPLACE "." "\\." suite_re "${SUITE}")
  if(NOT text MATCHES "^\\.TH ${upper_re} 1 \"[^\"]*\" \"${suite_re}\" ")
    string(APPEND problems "${name}.1: title line does not read '.TH ${upper} 1 \"\" \"${SUITE}\" ...'\n")
  endif()
  # The NAME line names the page's own program.
  string(REPLACE "-" "\\\\-" roff_name "${name}")
  if(NOT text MATCHES "\n\\.SH NAME\n${roff_name} \\\\- [^\n]+\n")
    string(APPEND problems "${name}.1: NAME line does not read '${name} \\- purpose'\n")
  endif()
  string(REGEX MATCHALL "\n\\.BR [a-z\\\\-]+ \\(1\\)" links "${text}")
  foreach(link ${links})
    string(REGEX REPLACE "\n\\.BR ([a-z\\\\-]+) \\(1\\)" "\\1" target "${link}")
    string(REPLACE "\\-" "-" target "${target}")
    if(NOT EXISTS ${MAN_DIR}/${target}.1)
      string(APPEND problems "${name}.1: links to ${target}(1), which has no page\n")
    endif()
  endforeach()
endforeach()

string(REPLACE "," ";" programs "${PROGRAMS}")
foreach(program ${programs})
  if(NOT EXISTS ${MAN_DIR}/${program}.1)
    string(APPEND problems "${program}: no manual page\n")
  endif()
endforeach()

if(NOT problems STREQUAL "")
  message(FATAL_ERROR "${problems}")
endif()
