# Installation layout and the Debian package (scripts/package.sh builds it with CPack).
# Everything a desktop needs comes from packaging/: the desktop entry, the icon, the
# AppStream metadata; the manual page is written at build time from the program's own
# help, so it always describes the program it ships with.
include(GNUInstallDirs)

set(HALVARO_APP_ID "org.halvaro.Halvaro")
# The release the AppStream metadata announces: change it together with the project's VERSION.
set(HALVARO_RELEASE_DATE 2026-12-07)
set(HALVARO_HOMEPAGE "https://example.org/halvaro" CACHE STRING
    "Project home page; the AppStream screenshot is <homepage>/window.png")
set(HALVARO_LICENSE "LicenseRef-proprietary" CACHE STRING "SPDX licence expression of the project")

set(packaging_dir ${PROJECT_SOURCE_DIR}/packaging)
set(packaging_out ${PROJECT_BINARY_DIR}/packaging)
configure_file(${packaging_dir}/${HALVARO_APP_ID}.metainfo.xml.in
               ${packaging_out}/${HALVARO_APP_ID}.metainfo.xml @ONLY)

# The manual page, from `halvaro --help` and each subcommand's --help.
add_custom_command(
  OUTPUT ${packaging_out}/halvaro.1 ${packaging_out}/halvaro.1.gz
  COMMAND ${packaging_dir}/make-manpage.sh $<TARGET_FILE:halvaro> ${PROJECT_VERSION} ${packaging_out}/halvaro.1
  COMMAND gzip -9nf -k ${packaging_out}/halvaro.1
  DEPENDS halvaro ${packaging_dir}/make-manpage.sh
  COMMENT "Writing the manual page halvaro(1) from the program's help"
  VERBATIM)
add_custom_target(halvaro_manpage ALL DEPENDS ${packaging_out}/halvaro.1.gz)

install(TARGETS halvaro RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${packaging_dir}/${HALVARO_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${packaging_dir}/${HALVARO_APP_ID}.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${packaging_dir}/${HALVARO_APP_ID}.png DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/128x128/apps)
install(FILES ${packaging_out}/${HALVARO_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${packaging_out}/halvaro.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME halvaro)
set(CPACK_PACKAGE_VENDOR "Halvaro")
set(CPACK_PACKAGE_CONTACT "Halvaro developers <halvaro@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "moves sales-tax records into a version 5.1 Access database")
set(CPACK_PACKAGE_DESCRIPTION
    "Halvaro moves the records of a sales-tax application (claimants, tax periods, trading\n"
    "partners, invoices, bills of entry, shipping bills) from a Microsoft Access database of\n"
    "the application's old version into a database of its version 5.1. It carries its own\n"
    "engine for Access files and needs neither Microsoft Access nor Windows.")
string(JOIN "" CPACK_PACKAGE_DESCRIPTION ${CPACK_PACKAGE_DESCRIPTION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${HALVARO_HOMEPAGE})
# Qt 6 (whose libqt6gui6 carries the X11 platform plugin), SQLite and the C++ runtime:
# dpkg-shlibdeps names the Debian packages that hold the libraries the program links.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
include(CPack)
