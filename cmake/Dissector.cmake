# SPDX-License-Identifier: Apache-2.0
# The Wireshark dissector for the bootloader protocol and the announces. Debian's Wireshark
# reads global Lua plugins from /usr/lib/<multiarch>/wireshark/plugins only, whatever the
# install prefix, so the multiarch directory is used when the toolchain has one.
include(GNUInstallDirs)
if(CMAKE_LIBRARY_ARCHITECTURE)
  set(quillon_lua_dir_default lib/${CMAKE_LIBRARY_ARCHITECTURE}/wireshark/plugins)
else()
  set(quillon_lua_dir_default ${CMAKE_INSTALL_LIBDIR}/wireshark/plugins)
endif()
set(QUILLON_WIRESHARK_PLUGIN_DIR ${quillon_lua_dir_default}
    CACHE STRING "Where Wireshark's global Lua plugins go, relative to the install prefix")

install(FILES ${PROJECT_SOURCE_DIR}/packaging/wireshark/quillon.lua
        DESTINATION ${QUILLON_WIRESHARK_PLUGIN_DIR} COMPONENT main)
