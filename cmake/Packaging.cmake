# Installing and packaging. The program's own folder is its workspace, so the
# install puts the program, the map background, the panel templates and the
# sample adventure side by side in lib/orvalis/; the launcher bin/orvalis lays
# out the author's workspace from there and starts the program in it.
#
#   cpack -G DEB                                (in the build folder)
#   cmake --build build --target workspace_archive   (a ready workspace as .tar.gz)
include(GNUInstallDirs)

set(ORVALIS_INSTALL_DIR lib/orvalis)
# The maintainer and the application id are set at build time (before any
# install rule uses them).
set(ORVALIS_MAINTAINER "Orvalis <orvalis@users.noreply.github.com>" CACHE STRING
    "The package's maintainer, \"Name <mail>\" (the changelog, copyright and control fields)")
set(ORVALIS_APP_ID "io.github.orvalis.Orvalis" CACHE STRING
    "The desktop file's and AppStream metadata's id (reverse domain name)")

install(TARGETS orvalis RUNTIME DESTINATION ${ORVALIS_INSTALL_DIR})
install(FILES ${ORVALIS_WORKSPACE_DIR}/defmap.bmp ${ORVALIS_WORKSPACE_DIR}/pan-madeira.png
              ${ORVALIS_WORKSPACE_DIR}/pan-noite.png
        DESTINATION ${ORVALIS_INSTALL_DIR})
install(DIRECTORY ${ORVALIS_SAMPLE_DIR} DESTINATION ${ORVALIS_INSTALL_DIR}
        PATTERN Floresta.exe EXCLUDE)
install(TARGETS floresta_player RUNTIME DESTINATION ${ORVALIS_INSTALL_DIR}/Floresta)
install(PROGRAMS ${CMAKE_CURRENT_LIST_DIR}/package/orvalis.sh DESTINATION ${CMAKE_INSTALL_BINDIR} RENAME orvalis)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/package/orvalis.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications
        RENAME ${ORVALIS_APP_ID}.desktop)
install(FILES ${ORVALIS_ICON} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/128x128/apps)

# What a distribution expects beside the program: the rest of it.
set(ORVALIS_RELEASE_DATE 2026-12-09)
set(ORVALIS_RELEASE_RFC2822 "Wed, 09 Dec 2026 12:00:00 +0000")
set(pkg ${CMAKE_BINARY_DIR}/package)
configure_file(${CMAKE_CURRENT_LIST_DIR}/package/copyright.in ${pkg}/copyright @ONLY)
configure_file(${CMAKE_CURRENT_LIST_DIR}/package/changelog.in ${pkg}/changelog @ONLY)
configure_file(${CMAKE_CURRENT_LIST_DIR}/package/orvalis.metainfo.xml.in ${pkg}/${ORVALIS_APP_ID}.metainfo.xml @ONLY)
# The manual page and the completion come from the program itself (its help
# text and its table of commands and options), so they cannot drift from it.
# gzip -n: the same bytes on every build.
add_custom_command(
  OUTPUT ${pkg}/orvalis.1.gz ${pkg}/orvalis.bash ${pkg}/changelog.gz
  COMMAND $<TARGET_FILE:orvalis> --pagina-manual > ${pkg}/orvalis.1
  COMMAND gzip -9nf ${pkg}/orvalis.1
  COMMAND $<TARGET_FILE:orvalis> --completar-bash > ${pkg}/orvalis.bash
  COMMAND gzip -9nc ${pkg}/changelog > ${pkg}/changelog.gz
  DEPENDS orvalis ${pkg}/changelog
  VERBATIM)
add_custom_target(package_files ALL DEPENDS ${pkg}/orvalis.1.gz ${pkg}/orvalis.bash ${pkg}/changelog.gz)
install(FILES ${pkg}/orvalis.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${pkg}/orvalis.bash DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME orvalis)
install(FILES ${pkg}/copyright ${pkg}/changelog.gz DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/orvalis)
install(FILES ${pkg}/${ORVALIS_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

set(CPACK_PACKAGE_NAME orvalis)
set(CPACK_PACKAGE_VENDOR "Orvalis")
set(CPACK_PACKAGE_CONTACT "${ORVALIS_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${ORVALIS_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "editor de aventuras de apontar e clicar")
# Extended description lines stay within 80 columns.
set(CPACK_PACKAGE_DESCRIPTION "Orvalis is a desktop authoring tool for point-and-click adventure games,
with a Brazilian Portuguese interface: the map of positions, scripts,
objects, registers, the game panel, pictures and sounds, kept in sync with
an adventure server. Comes with the sample adventure Floresta.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES TRUE)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# An authoring tool, not a game: its place is with the development tools,
# as its desktop entry's category says.
set(CPACK_DEBIAN_PACKAGE_SECTION devel)
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
