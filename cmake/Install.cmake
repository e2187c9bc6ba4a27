# SPDX-License-Identifier: Apache-2.0
# Installation layout (freedesktop and Debian conventions) and the two Debian packages built by
# CPack: "main" becomes quillon, the product; "devtools" becomes quillon-devtools, the simulated
# unit and the HEX generator for trying the product without hardware.
include(GNUInstallDirs)

set(QUILLON_MAINTAINER "Quillon developers <dev@quillon.invalid>"
    CACHE STRING "Maintainer named in the Debian packages and their changelog")

set(QUILLON_PACKAGING_DIR ${PROJECT_SOURCE_DIR}/packaging)
set(QUILLON_ICON_DIR ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
set(QUILLON_METAINFO_DIR ${CMAKE_INSTALL_DATADIR}/metainfo)
set(QUILLON_COMPLETION_DIR ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)

# The two windows, with their desktop entries, icons and metadata.
foreach(app quillon pellisk)
  install(TARGETS ${app} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT main)
  install(FILES ${QUILLON_PACKAGING_DIR}/${app}.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT main)
  install(FILES ${QUILLON_PACKAGING_DIR}/icons/${app}.svg DESTINATION ${QUILLON_ICON_DIR}
          COMPONENT main)
  # The release in the metadata is the project's version. The ids reverse the maintainer's
  # domain, which names no real host.
  set(metainfo invalid.quillon.${app}.metainfo.xml)
  configure_file(${QUILLON_PACKAGING_DIR}/metainfo/${metainfo}
                 ${PROJECT_BINARY_DIR}/packaging/${metainfo} @ONLY)
  set(metainfo ${PROJECT_BINARY_DIR}/packaging/${metainfo})
  install(FILES ${metainfo} DESTINATION ${QUILLON_METAINFO_DIR} COMPONENT main)
endforeach()
# The programs for scripts and lines; they need no display.
foreach(tool quillon-flash pellisk-watch quillon-station)
  install(TARGETS ${tool} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT main)
  install(FILES ${QUILLON_PACKAGING_DIR}/completions/${tool}
          DESTINATION ${QUILLON_COMPLETION_DIR} COMPONENT main)
endforeach()
# The station as a service, not enabled on install; its options in /etc/default, a conffile.
# Both paths lie beside the prefix (/usr), where Debian keeps them.
install(FILES ${QUILLON_PACKAGING_DIR}/systemd/quillon-station.service
        DESTINATION ../lib/systemd/system COMPONENT main)
install(FILES ${QUILLON_PACKAGING_DIR}/systemd/quillon-station.default
        DESTINATION ../etc/default RENAME quillon-station COMPONENT main)
set(CPACK_DEBIAN_MAIN_PACKAGE_CONTROL_EXTRA ${QUILLON_PACKAGING_DIR}/debian/conffiles)
# The record's reader; the record's drivers are plugins, which no linker sees.
install(TARGETS quillon-records RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT main)
install(FILES ${QUILLON_PACKAGING_DIR}/completions/quillon-records
        DESTINATION ${QUILLON_COMPLETION_DIR} COMPONENT main)
# The developer tools keep their short names in the build tree; installed, they say whose they are.
# A renamed copy is not a target to CMake, so it is stripped here as install(TARGETS) would be.
foreach(tool unitsim_prog:quillon-unitsim hexgen:quillon-hexgen)
  string(REPLACE ":" ";" tool ${tool})
  list(GET tool 0 target)
  list(GET tool 1 installed)
  install(PROGRAMS $<TARGET_FILE:${target}> DESTINATION ${CMAKE_INSTALL_BINDIR}
          RENAME ${installed} COMPONENT devtools)
  install(CODE "if(CMAKE_INSTALL_DO_STRIP)
  execute_process(COMMAND \"${CMAKE_STRIP}\"
    \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/${installed}\")
endif()" COMPONENT devtools)
endforeach()

# Each package carries its copyright and its changelog, compressed as dpkg expects; a native
# package's Debian changelog is named changelog.gz.
configure_file(${QUILLON_PACKAGING_DIR}/debian/changelog.in
               ${PROJECT_BINARY_DIR}/packaging/changelog @ONLY)
add_custom_command(
  OUTPUT ${PROJECT_BINARY_DIR}/packaging/changelog.gz
  COMMAND gzip -9nc ${PROJECT_BINARY_DIR}/packaging/changelog
          > ${PROJECT_BINARY_DIR}/packaging/changelog.gz
  DEPENDS ${PROJECT_BINARY_DIR}/packaging/changelog
  VERBATIM)
add_custom_target(quillon_deb_changelog ALL
                  DEPENDS ${PROJECT_BINARY_DIR}/packaging/changelog.gz)
foreach(component main devtools)
  set(package quillon)
  if(component STREQUAL devtools)
    set(package quillon-devtools)
  endif()
  install(FILES ${QUILLON_PACKAGING_DIR}/debian/copyright
                ${PROJECT_BINARY_DIR}/packaging/changelog.gz
          DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${package} COMPONENT ${component})
endforeach()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quillon)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Quillon developers")
set(CPACK_PACKAGE_CONTACT "${QUILLON_MAINTAINER}")
# CPack would put the project's one summary before each component's description; with its own
# default it leaves them alone, and each description below starts with its package's synopsis.
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${CMAKE_PROJECT_NAME} built using CMake")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# Packages land in the build tree, whatever directory cpack is started from.
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/packages)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL main devtools)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${QUILLON_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)

set(CPACK_DEBIAN_MAIN_PACKAGE_NAME quillon)
set(CPACK_DEBIAN_MAIN_PACKAGE_SECTION electronics)
# The windows draw their icons with Qt SVG; the record's database drivers are plugins, which the
# linker never sees.
set(CPACK_DEBIAN_MAIN_PACKAGE_DEPENDS "libqt6svg6, libqt6sql6-sqlite, libqt6sql6-psql")
set(CPACK_DEBIAN_MAIN_DESCRIPTION "firmware loader and unit discovery over UDP
Quillon replaces the firmware of a networked unit whose bootloader answers over
UDP: it wakes the bootloader, erases the flash, sends an Intel HEX file and
verifies it by CRC-16. quillon-flash runs the same sequence from a script, on
one unit or many at once.
Pellisk lists the units announcing themselves on UDP port 30303; pellisk-watch
prints the same list, and its changes, for scripts. A Wireshark dissector
decodes both protocols.
quillon-station flashes every unit that announces itself on a production line
exactly once, records each flash in SQLite or a PostgreSQL shared by several
stations, and shows the line on a live page; quillon-records reads the record.")

set(CPACK_DEBIAN_DEVTOOLS_PACKAGE_NAME quillon-devtools)
set(CPACK_DEBIAN_DEVTOOLS_PACKAGE_SECTION devel)
set(CPACK_DEBIAN_DEVTOOLS_DESCRIPTION "simulated unit and HEX generator for trying Quillon
quillon-unitsim behaves like a networked unit with a UDP bootloader, or a line
of them, and announces itself as Pellisk expects, so that Quillon,
quillon-flash and the scripts around them can be tried without hardware.
quillon-hexgen writes deterministic Intel HEX firmware files of any size.")

include(CPack)
include(${CMAKE_CURRENT_LIST_DIR}/Dissector.cmake)
