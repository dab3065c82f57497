# The Debian package made by `cpack` (scripts/package): everything `cmake --install` installs,
# under /usr, as build-release/vemo-creator_<version>_<arch>.deb.
set(VEMO_PACKAGE_MAINTAINER "Talwick <vemo-creator@talwick.invalid>"
  CACHE STRING "Maintainer field of the Debian package")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vemo-creator)
set(CPACK_PACKAGE_VENDOR Talwick)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "client for a URL-shortening service, in German")
# Control-file lines stay below 80 columns.
set(CPACK_PACKAGE_DESCRIPTION [[
Vemo Creator turns a long URL into a short link through a URL-shortening
service and keeps every link it created with a note, listed in its window.
The user interface is in German.
.
The package also holds shortlink-service, a small short-link service that
answers Vemo Creator's requests.]])
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${VEMO_PACKAGE_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# dpkg-shlibdeps finds the libraries the programs link (Qt, libjpeg, SQLite, libstdc++). The
# platform plugins are loaded at run time, so nothing links them and they are named here. Only
# the X11 one: the window keeps its fixed screen position there (through XWayland, too), which a
# Wayland client cannot ask for.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")

include(CPack)
