# The Debian package (cpack -G DEB in the build folder, or scripts/package.sh). Its dependencies on shared
# libraries are computed from the programs by dpkg-shlibdeps; the ones below are what the programs load at run
# time without linking: Qt's platform plugins, Qt's translations and a session bus.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME navilonixole)
set(CPACK_PACKAGE_VENDOR "NavilonixOle developers")
set(CPACK_PACKAGE_CONTACT "${NAVILONIX_MAINTAINER}")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "test console for the Navilonix vehicle-tracking server")
set(CPACK_PACKAGE_DESCRIPTION
    "NavilonixOle is a desktop console (Russian user interface) for the automation
interface of a vehicle-tracking server: it browses vehicle groups and vehicles
with their online data, has the server show positions and tracks, manages check
points, computes trips, lists their entries and exports tracks to PLT or KML.
.
The package also holds NavilonixServer, a demo tracking server with sample
data, which the session bus starts when the console connects.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# cpack installs what is built and builds nothing itself (scripts/package.sh builds the two programs first), so
# that making the package does not build every test.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${NAVILONIX_HOMEPAGE}")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, qt6-translations-l10n, default-dbus-session-bus | dbus-session-bus")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
