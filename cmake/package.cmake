# The Debian package swathlink_<version>_amd64.deb, made by CPack's DEB
# generator from the install rules (scripts/package-deb.sh configures a build
# for /usr with SWATHLINK_DEBIAN_PACKAGE on and runs cpack). The package
# carries Debian's copyright file and changelog in place of LICENSE.
set(CPACK_PACKAGE_NAME swathlink)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The swathlink developers")
set(CPACK_PACKAGE_CONTACT "swathlink developers <swathlink@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "driver for a wide-format inkjet printer")
set(CPACK_PACKAGE_DESCRIPTION "swathlink drives a wide-format inkjet printer with one eight-channel
piezo head, run by a control board over TCP. A raster application
calls its eleven C entry points; the library turns raster lines into
swaths and sends them to the board.
.
This package holds the shared library, its header, pkg-config file
and CMake package, swathprint (prints PNG and TIFF images),
swathchart (writes a test chart), swathboard (an emulator of the
printer's board) and their manual pages.")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# A shlibs file for packages built against this one. The loader's cache is
# refreshed by dpkg's ldconfig trigger, not by maintainer scripts.
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/cmake/debian/triggers)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

if(SWATHLINK_DEBIAN_PACKAGE)
  # The date of the changelog entry: the build's, or SOURCE_DATE_EPOCH's.
  string(TIMESTAMP SWATHLINK_CHANGELOG_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
  configure_file(cmake/debian/changelog.in ${PROJECT_BINARY_DIR}/debian/changelog @ONLY)
  add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/debian/changelog.gz
    COMMAND gzip -9nc ${PROJECT_BINARY_DIR}/debian/changelog > ${PROJECT_BINARY_DIR}/debian/changelog.gz
    DEPENDS ${PROJECT_BINARY_DIR}/debian/changelog VERBATIM)
  add_custom_target(swathlink_debian_changelog ALL DEPENDS ${PROJECT_BINARY_DIR}/debian/changelog.gz)
  install(FILES ${PROJECT_SOURCE_DIR}/cmake/debian/copyright ${PROJECT_BINARY_DIR}/debian/changelog.gz
    DESTINATION ${CMAKE_INSTALL_DOCDIR})
endif()

include(CPack)
