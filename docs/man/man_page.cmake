# SPDX-License-Identifier: GPL-3.0-or-later
# The manual pages are written by hand in docs/man/NAME.1.in; the build fills in the
# version and the date (SOURCE_DATE_EPOCH, when set, keeps a package reproducible) and
# installs them compressed, as Debian's packages carry their manual pages.
function(korvelo_man_page name)
  set(source "${PROJECT_SOURCE_DIR}/docs/man/${name}.1.in")
  set(page "${PROJECT_BINARY_DIR}/man/${name}.1")
  string(TIMESTAMP KORVELO_MAN_DATE "%Y-%m-%d" UTC)
  configure_file("${source}" "${page}" @ONLY)
  add_custom_command(
    OUTPUT "${page}.gz"
    COMMAND gzip -n -9 -c "${page}" > "${page}.gz"
    DEPENDS "${page}"
    VERBATIM)
  add_custom_target(${name}-manpage ALL DEPENDS "${page}.gz")
  install(FILES "${page}.gz" DESTINATION "${CMAKE_INSTALL_MANDIR}/man1")
endfunction()
