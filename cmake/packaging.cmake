# SPDX-License-Identifier: GPL-3.0-or-later
# The Debian package: cpack -G DEB in a release build (scripts/package.sh) gives
# korvelo_<version>-1_<arch>.deb with its dependencies worked out by dpkg-shlibdeps.
set(CPACK_PACKAGE_NAME "korvelo")
set(CPACK_PACKAGE_VENDOR "The Korvelo developers")
set(CPACK_PACKAGE_CONTACT "The Korvelo developers <korvelo@korvelo.example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "rescue recordings from the hard disk of a satellite recorder")
# One string: set() with several would join them with ";", which apt shows as stray
# " ;" at the start of the description's lines.
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "Korvelo reads the internal hard disk of a Finepass FSR-5000 TDR satellite\n"
    "recorder (and of a Tevion PVR 8005 HDD), or an image of it, lists its\n"
    "recordings and copies the chosen ones into HAV files, checking every data\n"
    "unit on the way. The disk is only ever read. A window program (korvelo)\n"
    "and a command line (korvelo-cli) share one core; korvelo-mkdisk makes the\n"
    "sample disk the manual pages use.")
set(CPACK_RESOURCE_FILE_LICENSE "${PROJECT_SOURCE_DIR}/LICENSE")
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR "DEB")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SECTION "utils")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${PROJECT_HOMEPAGE_URL}")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "gddrescue")

# What Debian wants beside every package: the copyright in its own format, and the
# changelog compressed (made when the package is built).
install(FILES "${PROJECT_SOURCE_DIR}/packaging/copyright" DESTINATION "${CMAKE_INSTALL_DATADIR}/doc/korvelo")
set(korvelo_changelog "${PROJECT_BINARY_DIR}/changelog.Debian.gz")
add_custom_command(
  OUTPUT "${korvelo_changelog}"
  COMMAND gzip -n -9 -c "${PROJECT_SOURCE_DIR}/packaging/changelog" > "${korvelo_changelog}"
  DEPENDS "${PROJECT_SOURCE_DIR}/packaging/changelog"
  VERBATIM)
add_custom_target(korvelo-changelog ALL DEPENDS "${korvelo_changelog}")
install(FILES "${korvelo_changelog}" DESTINATION "${CMAKE_INSTALL_DATADIR}/doc/korvelo")
# The JSON reference the manual page points to, compressed as Debian wants documentation.
set(korvelo_json_doc "${PROJECT_BINARY_DIR}/json.md.gz")
add_custom_command(
  OUTPUT "${korvelo_json_doc}"
  COMMAND gzip -n -9 -c "${PROJECT_SOURCE_DIR}/docs/json.md" > "${korvelo_json_doc}"
  DEPENDS "${PROJECT_SOURCE_DIR}/docs/json.md"
  VERBATIM)
add_custom_target(korvelo-json-doc ALL DEPENDS "${korvelo_json_doc}")
install(FILES "${korvelo_json_doc}" DESTINATION "${CMAKE_INSTALL_DATADIR}/doc/korvelo")
include(CPack)
