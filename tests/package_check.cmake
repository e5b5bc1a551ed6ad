# Builds the Debian package of BUILD_DIR with CPack into WORK_DIR and checks
# it as a user would: it holds exactly the programs (PROGRAMS, separated by
# commas), radphoto, their manual pages and the licence; its dependencies
# name the image libraries; unpacked into a scratch root with dpkg -x, the
# installed radphoto turns a small photograph (SHRINK makes it from
# SOURCE_DIR's sample) into a PNG with the programs beside it.
set(work ${WORK_DIR})
file(REMOVE_RECURSE ${work})
file(MAKE_DIRECTORY ${work})

include(${CMAKE_CURRENT_LIST_DIR}/run_ok.cmake)

run_ok(${CPACK} --config ${BUILD_DIR}/CPackConfig.cmake -G DEB -B ${work})
file(GLOB debs ${work}/*.deb)
list(LENGTH debs count)
if(NOT count EQUAL 1)
  message(FATAL_ERROR "cpack made ${count} packages: ${debs}")
endif()

# The files it holds (directories left out), as paths from the root.
execute_process(COMMAND dpkg-deb --contents ${debs} OUTPUT_VARIABLE listing RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "dpkg-deb cannot list ${debs}")
endif()
string(REGEX MATCHALL "\\./[^\n]*[^/\n]\n" lines "${listing}")
set(files "")
foreach(line ${lines})
  string(REGEX REPLACE "^\\.(/[^\n]*)\n$" "\\1" path "${line}")
  list(APPEND files ${path})
endforeach()
string(REPLACE "," ";" programs "${PROGRAMS}")
set(want /usr/share/doc/radsuite/LICENSE)
foreach(program ${programs} radphoto)
  list(APPEND want /usr/bin/${program} /usr/share/man/man1/${program}.1)
endforeach()
set(missing ${want})
list(REMOVE_ITEM missing ${files})
set(extra ${files})
list(REMOVE_ITEM extra ${want})
if(missing OR extra)
  message(FATAL_ERROR "package contents: missing '${missing}'; unexpected '${extra}'")
endif()

# Computed dependencies: the libraries the programs link, whatever their
# package names' versions.
execute_process(COMMAND dpkg-deb --field ${debs} Depends OUTPUT_VARIABLE depends)
foreach(library libopenexr libpng libjpeg libstdc\\+\\+ libc6)
  if(NOT depends MATCHES "(^|, )${library}")
    message(FATAL_ERROR "package depends on '${depends}', which names no ${library}")
  endif()
endforeach()

# Installed into a scratch root, the helper finds its programs beside it.
set(root ${work}/root)
run_ok(dpkg -x ${debs} ${root})
run_ok(${SHRINK} ${SOURCE_DIR}/data/forest.exr ${work}/small.exr 64)
execute_process(COMMAND ${CMAKE_COMMAND} -E env --unset=SUITE_BIN PATH=/usr/bin:/bin
                        ${root}/usr/bin/radphoto ${work}/small.exr ${work}/small.png
                RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT status EQUAL 0 OR NOT out STREQUAL "" OR NOT err STREQUAL "")
  message(FATAL_ERROR "installed radphoto: status ${status}, stdout '${out}', stderr '${err}'")
endif()
# PNG signature, then the IHDR chunk: width 16 and height 8, big-endian.
file(READ ${work}/small.png head HEX LIMIT 24)
if(NOT head STREQUAL "89504e470d0a1a0a0000000d494844520000001000000008")
  message(FATAL_ERROR "installed radphoto wrote no 16x8 PNG: ${head}")
endif()
file(REMOVE_RECURSE ${work})
