# Installs Zorvane the way Linux desktops expect it (program, menu entry, icons,
# AppStream metadata, manual page) and describes its Debian package for CPack.
include(GNUInstallDirs)

# The desktop id is written once, in services/desktopid.h; the installed files carry it.
file(STRINGS "${PROJECT_SOURCE_DIR}/services/desktopid.h" _zorvane_id_line REGEX "kDesktopId\\[\\] = \"")
string(REGEX REPLACE ".*\"([^\"]+)\".*" "\\1" ZORVANE_DESKTOP_ID "${_zorvane_id_line}")
if(NOT ZORVANE_DESKTOP_ID MATCHES "^[A-Za-z][A-Za-z0-9_]*(\\.[A-Za-z][A-Za-z0-9_]*)+$")
    message(FATAL_ERROR "No reverse-DNS desktop id found in services/desktopid.h")
endif()

set(_zorvane_pkgdir "${PROJECT_SOURCE_DIR}/packaging")
set(_zorvane_docdir "${CMAKE_INSTALL_DATAROOTDIR}/doc/zorvane")

install(TARGETS zorvane RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The announcement download runs in this helper; it is no command for users, so it lives
# where the program finds it and PATH does not (see widgets/announcementview.cpp).
install(TARGETS zorvane-announcement RUNTIME DESTINATION ${CMAKE_INSTALL_LIBEXECDIR}/zorvane)
# So do the posts to webhooks and phones (see services/pushlink.h).
install(TARGETS zorvane-push RUNTIME DESTINATION ${CMAKE_INSTALL_LIBEXECDIR}/zorvane)
# So does the sound of an alarm (see alarm/soundhelperdevice.h); Windows plays in the program.
if(TARGET zorvane-sound)
    install(TARGETS zorvane-sound RUNTIME DESTINATION ${CMAKE_INSTALL_LIBEXECDIR}/zorvane)
endif()
if(NOT CMAKE_SYSTEM_NAME STREQUAL "Linux")
    # Menu entries, icons, manual pages and .deb files are the freedesktop and Debian ways.
    return()
endif()

install(FILES "${_zorvane_pkgdir}/${ZORVANE_DESKTOP_ID}.desktop"
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES "${_zorvane_pkgdir}/${ZORVANE_DESKTOP_ID}.metainfo.xml"
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
set(ZORVANE_ICON_SIZES 16 22 24 32 48 64 128 256)
foreach(_size IN LISTS ZORVANE_ICON_SIZES)
    install(FILES "${PROJECT_SOURCE_DIR}/assets/icons/${_size}.png"
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${_size}x${_size}/apps
            RENAME ${ZORVANE_DESKTOP_ID}.png)
endforeach()
install(FILES "${PROJECT_SOURCE_DIR}/assets/app-icon.svg"
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps
        RENAME ${ZORVANE_DESKTOP_ID}.svg)

# The manual page and the change log are installed compressed, as Debian wants them.
set(_zorvane_gzipped)
foreach(_file zorvane.1 changelog)
    set(_out "${CMAKE_CURRENT_BINARY_DIR}/packaging/${_file}.gz")
    add_custom_command(OUTPUT "${_out}"
        COMMAND ${CMAKE_COMMAND} -E make_directory "${CMAKE_CURRENT_BINARY_DIR}/packaging"
        COMMAND sh -c "gzip -9nc \"$1\" > \"$2\"" sh "${_zorvane_pkgdir}/${_file}" "${_out}"
        DEPENDS "${_zorvane_pkgdir}/${_file}" VERBATIM)
    list(APPEND _zorvane_gzipped "${_out}")
endforeach()
add_custom_target(zorvane_compressed_docs ALL DEPENDS ${_zorvane_gzipped})
install(FILES "${CMAKE_CURRENT_BINARY_DIR}/packaging/zorvane.1.gz" DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES "${CMAKE_CURRENT_BINARY_DIR}/packaging/changelog.gz" "${_zorvane_pkgdir}/copyright"
        DESTINATION ${_zorvane_docdir})
# The broker set-up for guild rooms, for the officer who runs the broker.
install(FILES "${_zorvane_pkgdir}/broker/zorvane-room.conf"
        DESTINATION ${CMAKE_INSTALL_DATADIR}/zorvane/broker)
install(PROGRAMS "${_zorvane_pkgdir}/broker/zorvane-room"
        DESTINATION ${CMAKE_INSTALL_DATADIR}/zorvane/broker)
# A boss list to start a game's own from (README, "Boss lists").
install(FILES "${PROJECT_SOURCE_DIR}/examples/bosslist-example.json"
        DESTINATION ${CMAKE_INSTALL_DATADIR}/zorvane/examples)

include(cmake/ZorvanePackage.cmake)

if(BUILD_TESTING)
    add_subdirectory(tests/packaging)
endif()
