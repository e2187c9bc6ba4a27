# Installation layout (freedesktop conventions) and the Debian package built by CPack.
include(GNUInstallDirs)

set(QUILLON_PACKAGING_DIR ${PROJECT_SOURCE_DIR}/packaging)
set(QUILLON_ICON_DIR ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

# A program that is not part of this configuration is simply left out, with its desktop entry.
if(TARGET quillon)
  install(TARGETS quillon RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${QUILLON_PACKAGING_DIR}/quillon.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${QUILLON_PACKAGING_DIR}/icons/quillon.svg DESTINATION ${QUILLON_ICON_DIR})
endif()
if(TARGET pellisk)
  install(TARGETS pellisk RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${QUILLON_PACKAGING_DIR}/pellisk.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${QUILLON_PACKAGING_DIR}/icons/pellisk.svg DESTINATION ${QUILLON_ICON_DIR})
endif()
# Pellisk's list for scripts; it needs no display.
if(TARGET pellisk-watch)
  install(TARGETS pellisk-watch RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
if(TARGET quillon-flash)
  install(TARGETS quillon-flash RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
# The simulated unit ships too, so that a line can check its scripts without hardware.
if(TARGET unitsim_prog)
  install(TARGETS unitsim_prog RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quillon)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Quillon developers")
set(CPACK_PACKAGE_CONTACT "Quillon developers <quillon-dev@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# Packages land in the build tree, whatever directory cpack is started from.
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/packages)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The long description; the synopsis line is the summary above.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Quillon replaces the firmware of a networked unit whose bootloader answers over
UDP: it wakes the bootloader, erases the flash, sends an Intel HEX file and
verifies it by CRC-16. quillon-flash runs the same sequence from a script.
Pellisk lists the units announcing themselves on UDP port 30303; pellisk-watch
prints the same list, and its changes, for scripts. unitsim is a simulated unit
to try them on.")

include(CPack)
