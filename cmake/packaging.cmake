# SPDX-License-Identifier: MIT
# The .deb: `cpack -G DEB` in a build folder (./scripts/package does it all).
set(CPACK_PACKAGE_NAME kestrune)
set(CPACK_PACKAGE_VENDOR "the Kestrune developers")
set(CPACK_PACKAGE_CONTACT "the Kestrune developers <kestrune@users.noreply.kestrune.org>"
    CACHE STRING "Maintainer of the .deb")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "serial-port terminal with HEX and GBK text display")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "Kestrune is a serial-port terminal in one window, for people who sit in front\n"
    "of a board for hours: pick a port (COM1 to COM6), a baud rate from 600 to\n"
    "460800, a parity and the stop bits, open the line, and watch every byte that\n"
    "arrives, either as hexadecimal or as text with GBK's two-byte Chinese\n"
    "characters put together. The send box is sent once or every so many\n"
    "milliseconds, as its plain bytes or as the bytes its hex digits spell; both\n"
    "directions are counted, and either box can be cleared or saved to a file.")
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT) # kestrune_<version>_<arch>.deb
set(CPACK_DEBIAN_PACKAGE_SECTION comm)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${KESTRUNE_HOMEPAGE})
# Libraries come from the binary; the window also needs Qt's X11/Wayland platform
# plugins and a font with Chinese characters, which no library link shows.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "qt6-qpa-plugins, fonts-wqy-microhei | fonts-wqy-zenhei | fonts-noto-cjk")
# Qt's own texts (file dialog, edit menus) in Chinese.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n")

include(CPack)
