# What `cmake --install` puts under the prefix, and the Debian package that CPack makes of it
# (`cpack -G DEB` in the build folder). The programs find the installed files relative to where
# they are (PREFIX/bin -> PREFIX/share/dravelo), so any prefix works.

install(TARGETS dravelo-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(DRAVELO_BUILD_GUI)
  install(TARGETS dravelo RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()

install(FILES ${DRAVELO_SOURCE_DIR}/docs/man/dravelo.1 ${DRAVELO_SOURCE_DIR}/docs/man/dravelo-cli.1
  DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# The sample volumes, ready to scan (dravelo --samples opens them).
install(FILES ${DRAVELO_SAMPLE_IMAGES} ${DRAVELO_SOURCE_DIR}/resources/samples/README.md
  DESTINATION ${CMAKE_INSTALL_DATADIR}/dravelo/samples)

# The desktop's menu entry, icon and software-centre description.
install(FILES ${DRAVELO_SOURCE_DIR}/resources/desktop/example.dravelo.Dravelo.desktop
  DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${DRAVELO_SOURCE_DIR}/resources/desktop/dravelo.svg
  DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${DRAVELO_SOURCE_DIR}/resources/desktop/example.dravelo.Dravelo.metainfo.xml
  DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

set(CPACK_PACKAGE_NAME dravelo)
set(CPACK_PACKAGE_VENDOR "The Dravelo developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "find and recover deleted files on FAT, exFAT and NTFS volumes")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
  "Dravelo finds deleted files on FAT12, FAT16, FAT32, exFAT and NTFS volumes (disks, memory cards or "
  "image files of them), lists them with their original folder, size, dates and recoverability, "
  "and copies the chosen ones out. It only ever reads the volumes it scans. The package holds the "
  "window (dravelo), the command-line program (dravelo-cli), their manual and sample volumes.")
set(CPACK_PACKAGE_CONTACT "support@dravelo.example")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "The Dravelo developers <support@dravelo.example>")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
# The shared libraries the programs link (Qt, libblkid, the C++ run time) come from dpkg-shlibdeps;
# what is loaded at run time is named here: Qt's platform plugins (the window cannot start without
# one), the MIME database that names the file types, and the icon themes the type icons come from.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, shared-mime-info, hicolor-icon-theme")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "adwaita-icon-theme")
include(CPack)
