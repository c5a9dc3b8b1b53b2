# The Debian package (`cpack -G DEB`, or scripts/package for the release build).
# dpkg-shlibdeps finds the libraries the program links; what it loads otherwise is
# listed by hand.
set(ZORVANE_PACKAGE_MAINTAINER "The Zorvane developers <zorvane@users.noreply.github.com>"
    CACHE STRING "Maintainer field of the Debian package")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zorvane)
set(CPACK_PACKAGE_VENDOR "The Zorvane developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${ZORVANE_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "boss respawn timer for online games")
set(CPACK_PACKAGE_DESCRIPTION
    "Zorvane keeps a table of game bosses with their respawn periods. A double click\n"
    "records a kill, every row counts down to the boss's next appearance, and a\n"
    "checked row sounds an alarm a few minutes before the boss is due.")
string(JOIN "" CPACK_PACKAGE_DESCRIPTION ${CPACK_PACKAGE_DESCRIPTION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://zorvane.github.io/")
# Finds libmosquitto1 among others: the window links the room client (share/).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# SDL2 is opened at run time when an alarm sounds, espeak-ng when a name is first spoken,
# libmosquitto when a room is joined and SQLite when the history is first used, so
# dpkg-shlibdeps cannot see them.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libsdl2-2.0-0, libespeak-ng1, libmosquitto1, libsqlite3-0")
# Qt loads the Wayland platform plugin at run time (X11's comes with libqt6gui6); the
# Chinese interface wants a Kai face or at least a CJK font and Qt's Chinese texts for its
# dialogs; HTTPS needs the CA list.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-wayland, qt6-translations-l10n, fonts-arphic-ukai | fonts-wqy-microhei, ca-certificates")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)
