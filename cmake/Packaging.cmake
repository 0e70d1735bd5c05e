# Installing and packaging. The program's own folder is its workspace, so the
# install puts the program, the map background, the panel templates and the
# sample adventure side by side in lib/orvalis/; the launcher bin/orvalis lays
# out the author's workspace from there and starts the program in it.
#
#   cpack -G DEB                                (in the build folder)
#   cmake --build build --target workspace_archive   (a ready workspace as .tar.gz)
include(GNUInstallDirs)

set(ORVALIS_INSTALL_DIR lib/orvalis)

install(TARGETS orvalis RUNTIME DESTINATION ${ORVALIS_INSTALL_DIR})
install(FILES ${ORVALIS_WORKSPACE_DIR}/defmap.bmp ${ORVALIS_WORKSPACE_DIR}/pan-madeira.png
              ${ORVALIS_WORKSPACE_DIR}/pan-noite.png
        DESTINATION ${ORVALIS_INSTALL_DIR})
install(DIRECTORY ${ORVALIS_SAMPLE_DIR} DESTINATION ${ORVALIS_INSTALL_DIR}
        PATTERN Floresta.exe EXCLUDE)
install(TARGETS floresta_player RUNTIME DESTINATION ${ORVALIS_INSTALL_DIR}/Floresta)
install(PROGRAMS ${CMAKE_CURRENT_LIST_DIR}/package/orvalis.sh DESTINATION ${CMAKE_INSTALL_BINDIR} RENAME orvalis)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/package/orvalis.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${ORVALIS_ICON} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/128x128/apps)

set(CPACK_PACKAGE_NAME orvalis)
set(CPACK_PACKAGE_VENDOR "Orvalis")
set(CPACK_PACKAGE_CONTACT "Orvalis <orvalis@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "editor de aventuras de apontar e clicar")
set(CPACK_PACKAGE_DESCRIPTION
    "Orvalis is a desktop authoring tool for point-and-click adventure games, with a Brazilian Portuguese interface: the map of positions, scripts, objects, registers, the game panel, pictures and sounds, kept in sync with an adventure server. Comes with the sample adventure Floresta.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES TRUE)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION games)
# The libraries come from the binaries; the plugins, sound codecs and fonts
# are loaded at run time and are named here.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "qt6-qpa-plugins, gstreamer1.0-plugins-base, gstreamer1.0-plugins-good, fonts-liberation")
include(CPack)

# A ready workspace for authors who unpack and run: Orvalis/ with the program
# (stripped), the map background, the templates and the sample adventure.
set(archive ${CMAKE_BINARY_DIR}/orvalis-workspace-${PROJECT_VERSION}.tar.gz)
add_custom_target(workspace_archive
  COMMAND ${CMAKE_COMMAND} -DPROGRAM=$<TARGET_FILE:orvalis> -DPLAYER=$<TARGET_FILE:floresta_player>
          -DWORKSPACE=${ORVALIS_WORKSPACE_DIR} -DSAMPLE=${ORVALIS_SAMPLE_DIR} -DSTRIP=${CMAKE_STRIP}
          -DSTAGE=${CMAKE_BINARY_DIR}/archive -DARCHIVE=${archive}
          -P ${CMAKE_CURRENT_LIST_DIR}/workspace-archive.cmake
  DEPENDS orvalis workspace
  COMMENT "Packing a ready workspace into ${archive}")
