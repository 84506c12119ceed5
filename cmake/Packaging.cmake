# `cpack -G DEB` in a build folder makes hygrovan_<version>_<arch>.deb from the
# install rules. dpkg-shlibdeps works out the library dependencies (Qt 6 among
# them) from the installed executables.
set(CPACK_PACKAGE_NAME hygrovan)
set(CPACK_PACKAGE_VENDOR "Brantel")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Data exchange with the Hygrovan-RX3 moisture meter")
set(CPACK_PACKAGE_DESCRIPTION
    "Downloads the archives of the Hygrovan-RX3 moisture meter (wood, concrete, bulk\nmaterials) over a serial line, keeps them in a dBase IV table, shows, plots and\nprints them and exports them to an Excel 97 workbook. The user interface is in\nRussian. Includes hygrovan-cli, a command-line companion, and\nhygrovan-meter-sim, a simulator of the meter on a pseudo-terminal.")
# Placeholder maintainer address; set the real one before publishing.
set(CPACK_PACKAGE_CONTACT "Hygrovan-RX3 maintainers <hygrovan@brantel.invalid>")
set(CPACK_PACKAGE_INSTALL_DIRECTORY hygrovan)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt loads its platform plugin and its Russian texts at run time, so no
# library names them.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, qt6-translations-l10n")
# xdg-open shows the user guide ("Справка → Помощь"); without it the program
# says where the guide is.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-liberation2, xdg-utils")

include(CPack)
