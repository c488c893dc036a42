# The Debian package: what `cmake --install` lays out under /usr, as tessaro-lite_VERSION_ARCH.deb.
# The Qt libraries it needs are read from the programs by dpkg-shlibdeps; Qt's own translations
# are loaded at run time, so nothing links them and they are named here.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tessaro-lite)
set(CPACK_PACKAGE_VENDOR Ulvenor)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
# Debian keeps the synopsis under 80 characters and the lines below it under 80 too.
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "copy or move the files of a folder into another, now or on a schedule")
set(CPACK_PACKAGE_DESCRIPTION "Tessaro Lite copies or moves the plain files of one source folder into
one destination folder, once or every 1 to 540 minutes, while it sits in
its window or as an icon in the notification area. Every run writes one
log line per file. A copy takes its name only when it is complete, so no
file is left half-written.
TessaroUpdate offers to open the update page in the web browser.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
# A umask of the build machine must not make the installed folders unreadable for users.
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Ulvenor <support@ulvenor.example>")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://www.ulvenor.example/")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS qt6-translations-l10n)
# Qt runs natively on a Wayland desktop only with its Wayland plugin; without it, it goes
# through XWayland.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS qt6-wayland)
# GNOME shows no notification area without this extension.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS gnome-shell-extension-appindicator)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)
