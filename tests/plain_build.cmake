# Configures the suite in WORK_DIR as a packager would, with no options, and
# checks that the configure looks up none of what only the tests, the
# benchmarks and the documentation checks use (GoogleTest, Google Benchmark,
# Python, groff), that the build type and flags default to Release and -O2,
# and that one program builds and runs. Then configures again with flags of
# the packager's own and checks that the compile commands use them.
# Needs SOURCE_DIR, WORK_DIR, GENERATOR, C_COMPILER and CXX_COMPILER.
set(build ${WORK_DIR}/build)
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})
unset(ENV{CMAKE_BUILD_TYPE})

include(${CMAKE_CURRENT_LIST_DIR}/run_ok.cmake)

# The compile command of radbright.cpp in the build's compile_commands.json.
function(radbright_command out)
  file(STRINGS ${build}/compile_commands.json command REGEX "\"command\": .*/radbright\\.cpp\"")
  if(NOT command)
    message(FATAL_ERROR "no compile command for radbright.cpp in ${build}")
  endif()
  set(${out} " ${command} " PARENT_SCOPE)
endfunction()

run_ok(${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${build} -G ${GENERATOR}
       -DCMAKE_C_COMPILER=${C_COMPILER} -DCMAKE_CXX_COMPILER=${CXX_COMPILER}
       -DCMAKE_EXPORT_COMPILE_COMMANDS=ON
       --trace-expand --trace-format=json-v1 --trace-redirect=${WORK_DIR}/trace.json)

# Every lookup the configure made, from the trace (one JSON object a line):
# the names it looked for are the arguments without a slash.
file(STRINGS ${WORK_DIR}/trace.json lookups
     REGEX "\"cmd\":\"(find_package|find_program|find_library|find_path|find_file|pkg_check_modules|pkg_search_module)\"")
set(names "")
foreach(line ${lookups})
  if(line MATCHES "\"args\":\\[([^]]*)\\]")
    string(REGEX MATCHALL "\"[^\"/]+\"" args "${CMAKE_MATCH_1}")
    string(REPLACE "\"" "" args "${args}")
    list(APPEND names ${args})
  endif()
endforeach()
string(TOLOWER "${names}" lower)
if(NOT lower MATCHES "(^|;)openexr(>|;)")
  message(FATAL_ERROR "the trace shows no lookup of OpenEXR; lookups: ${names}")
endif()
foreach(unwanted gtest gmock benchmark python groff)
  if(lower MATCHES "(^|;)[^;]*${unwanted}[^;]*")
    message(FATAL_ERROR "a plain configure looks up '${CMAKE_MATCH_0}'")
  endif()
endforeach()

file(STRINGS ${build}/CMakeCache.txt build_type REGEX "^CMAKE_BUILD_TYPE:")
if(NOT build_type MATCHES "=Release$")
  message(FATAL_ERROR "build type of a plain configure: ${build_type}")
endif()
radbright_command(command)
if(NOT command MATCHES " -O2 " OR command MATCHES " -O3 | -DNDEBUG ")
  message(FATAL_ERROR "a plain Release build compiles with:${command}")
endif()

run_ok(${CMAKE_COMMAND} --build ${build} --target radbright)
execute_process(COMMAND ${build}/bin/radbright RESULT_VARIABLE status
                ERROR_VARIABLE err OUTPUT_QUIET INPUT_FILE /dev/null)
if(NOT status EQUAL 1 OR NOT err MATCHES "^Usage: radbright ")
  message(FATAL_ERROR "radbright of the plain build: status ${status}, stderr '${err}'")
endif()

# A packager's own flags, given on a second configure, are the ones used.
run_ok(${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${build}
       "-DCMAKE_CXX_FLAGS_RELEASE=-O1 -DPACKAGER" "-DCMAKE_C_FLAGS_RELEASE=-O1 -DPACKAGER")
radbright_command(command)
if(NOT command MATCHES " -O1 -DPACKAGER " OR command MATCHES " -O2 ")
  message(FATAL_ERROR "with the packager's -O1 -DPACKAGER the build compiles with:${command}")
endif()
file(REMOVE_RECURSE ${WORK_DIR})
