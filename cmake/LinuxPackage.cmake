# Linux: the program with its menu entry, icon and read-me under a prefix (`cmake --install`),
# and a Debian package of the same (`cpack -G DEB`, `./build.sh package`).

install(TARGETS tolvane RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES packaging/linux/${TOLVANE_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(DIRECTORY packaging/linux/icons/hicolor DESTINATION ${CMAKE_INSTALL_DATADIR}/icons)
# The read-me shows its pictures from docs/ beside it.
install(FILES README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(DIRECTORY docs DESTINATION ${CMAKE_INSTALL_DOCDIR} FILES_MATCHING PATTERN "*.png")

set(TOLVANE_MAINTAINER "Tolvane developers <tolvane@example.org>" CACHE STRING "The Debian package's maintainer")
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tolvane)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "pick columns of a delimited Shift_JIS text file into CSV or TAB text")
# Debian shows the long description as it stands: lines under 80 columns.
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "Tolvane reads a delimited code page 932 (Shift_JIS) text file, detects its\n"
    "delimiter from the first line, lists that line's items, and writes the\n"
    "columns you choose, in any order, as comma- or TAB-separated text. Every\n"
    "item reaches the output byte for byte. A Japanese window and a command line\n"
    "(tolvane convert, tolvane detect) are one program.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${TOLVANE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
# dpkg-shlibdeps declares the libraries the program links: Qt, and through Qt the ICU that
# holds the code page 932 converter.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Japanese glyphs for the window, and Japanese buttons in Qt's own dialogs.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-ipafont-gothic, qt6-translations-l10n")
include(CPack)
