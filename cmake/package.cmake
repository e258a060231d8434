# Debian package of the installed tree: `cpack -G DEB` in a Release build (scripts/package).
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME orvex)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_CONTACT "Orvex developers <developers@orvex.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "viewer for USB inspection cameras")
# CPack puts the summary first and indents these lines; an empty line separates paragraphs.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Orvex shows the live picture of a USB inspection camera (video scope),
takes snapshots and recordings, and browses and plays them back. It finds
the scope among the machine's other cameras and controls its LED, boost
and rotation through the bridge chip's UVC extension unit.

The package also holds the bravik command-line tool, which reads and
writes the bridge's registers and EEPROM, and a simulated scope rig that
lets both programs run without a camera.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_BINARY_DIR})
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
include(CPack)
