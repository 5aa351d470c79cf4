# Installation, desktop integration and the Debian package.
#
# A package for the system is built from a tree configured with -DCMAKE_INSTALL_PREFIX=/usr
# (./dev package does so): GNUInstallDirs then places the system configuration in /etc/xdg,
# where the program looks for it by default.
include(GNUInstallDirs)

set(RAVLEN_PACKAGING_DIR ${CMAKE_CURRENT_LIST_DIR})
set(RAVLEN_ICON_SIZES 16 22 24 32 48 64 128 256 512)
set(RAVLEN_SYSTEM_CONFIG_DIR ${CMAKE_INSTALL_FULL_SYSCONFDIR}/xdg/ravlen)

# The window's own icon is compiled in, so it shows without an installed icon theme.
set(ravlen_icon_files)
foreach(size IN LISTS RAVLEN_ICON_SIZES)
    list(APPEND ravlen_icon_files ${RAVLEN_PACKAGING_DIR}/icons/ravlen-${size}.png)
endforeach()
qt_add_resources(ravlen ravlen_icons PREFIX /icons BASE ${RAVLEN_PACKAGING_DIR}/icons
    FILES ${ravlen_icon_files})

install(FILES ${RAVLEN_PACKAGING_DIR}/ravlen.desktop
    DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${RAVLEN_PACKAGING_DIR}/org.ravlen.ravlen.metainfo.xml
    DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${RAVLEN_PACKAGING_DIR}/icons/ravlen.svg
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
foreach(size IN LISTS RAVLEN_ICON_SIZES)
    install(FILES ${RAVLEN_PACKAGING_DIR}/icons/ravlen-${size}.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
        RENAME ravlen.png)
endforeach()
install(DIRECTORY ${CMAKE_SOURCE_DIR}/samples/
    DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/ravlen/examples)
install(FILES ${CMAKE_SOURCE_DIR}/samples/ravlen.lib DESTINATION ${RAVLEN_SYSTEM_CONFIG_DIR})

# --- Debian package (cpack -G DEB) ---
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ravlen)
set(CPACK_PACKAGE_VENDOR Ravlen)
set(CPACK_PACKAGE_CONTACT "Ravlen developers <ravlen@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "editor for configured fields of XML data files")
set(CPACK_PACKAGE_DESCRIPTION "\
Ravlen edits the fields of XML data files that a configuration names, as rows
of a two-column grid of field and value. It saves in place or under a new
name, never overwrites an origin file, and exports the grid to a spreadsheet
workbook.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION editors)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
# Absolute destinations (the system configuration) must land in the package, not on this machine.
set(CPACK_SET_DESTDIR ON)
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
# An edited system configuration survives upgrades and is removed only on purge.
file(WRITE ${CMAKE_BINARY_DIR}/packaging/conffiles "${RAVLEN_SYSTEM_CONFIG_DIR}/ravlen.lib\n")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_BINARY_DIR}/packaging/conffiles)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
