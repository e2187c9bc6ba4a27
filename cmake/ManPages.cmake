# SPDX-License-Identifier: Apache-2.0
# Man pages: one scdoc source per installed program, rendered at build time into man/ of the
# build tree and installed to share/man/man1, compressed as Debian wants them. The developer
# tools' pages go with their package.
include(GNUInstallDirs)

find_program(QUILLON_SCDOC scdoc)
find_program(QUILLON_GZIP gzip)
if(NOT QUILLON_SCDOC OR NOT QUILLON_GZIP)
  message(WARNING "scdoc not found: no man pages (scripts/install-deps.sh installs it)")
  return()
endif()

set(QUILLON_MAN_DIR ${PROJECT_BINARY_DIR}/man)
set(quillon_man_main quillon pellisk quillon-flash pellisk-watch)
list(APPEND quillon_man_main quillon-records quillon-station)
set(quillon_man_devtools quillon-unitsim quillon-hexgen)

set(quillon_man_pages "")
foreach(page IN LISTS quillon_man_main quillon_man_devtools)
  set(source ${PROJECT_SOURCE_DIR}/docs/man/${page}.1.scd)
  set(output ${QUILLON_MAN_DIR}/${page}.1)
  # scdoc reads only standard input; -n keeps the time out of the .gz, so builds are repeatable.
  add_custom_command(
    OUTPUT ${output} ${output}.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${QUILLON_MAN_DIR}
    COMMAND ${QUILLON_SCDOC} < ${source} > ${output}
    COMMAND ${QUILLON_GZIP} -9nf -k ${output}
    DEPENDS ${source}
    COMMENT "Rendering man page ${page}(1)"
    VERBATIM)
  list(APPEND quillon_man_pages ${output}.gz)
endforeach()
add_custom_target(man_pages ALL DEPENDS ${quillon_man_pages})

foreach(page IN LISTS quillon_man_main)
  install(FILES ${QUILLON_MAN_DIR}/${page}.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1
          COMPONENT main)
endforeach()
foreach(page IN LISTS quillon_man_devtools)
  install(FILES ${QUILLON_MAN_DIR}/${page}.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1
          COMPONENT devtools)
endforeach()
