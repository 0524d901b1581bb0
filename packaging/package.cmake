# Debian package settings for CPack (scripts/package runs it): vektool_<version>_<arch>.deb.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vektool)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Vek Tool developers <vektool@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Configuration, firmware update and telemetry of brushless motor controllers")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "Vek Tool talks to Vek brushless motor controllers over a serial port: it reads, edits, writes and\n"
    "flashes their configuration records, keeps them in files, updates their firmware through the\n"
    "bootloader, plots live telemetry, drives the motor for tests and tests the bridge FETs.\n"
    "The package includes vekctl, the same work from the command line for scripts and production\n"
    "lines, and vek-sim, a simulated controller on a pseudo-terminal.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Loaded at run time, so invisible to dpkg-shlibdeps: the X11 platform plugin.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-wayland")
include(CPack)
