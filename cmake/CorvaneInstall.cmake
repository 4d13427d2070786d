# Installed layout: programs in bin/, the player's data in share/corvaneplayer/
# (where it looks for Language/ and Map/ when it does not find them beside
# itself), the desktop entry and icon in the freedesktop places.
include(GNUInstallDirs)

foreach(program corvane corvaneplayer corvane-mkdemo)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endforeach()

# The man page carries the project's version and is installed compressed, as
# Debian's man pages are.
configure_file(${CMAKE_SOURCE_DIR}/docs/corvane.1 ${CMAKE_BINARY_DIR}/man/corvane.1 @ONLY)
find_program(CORVANE_GZIP gzip REQUIRED)
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/man/corvane.1.gz
  COMMAND ${CORVANE_GZIP} -9 -n -f -k ${CMAKE_BINARY_DIR}/man/corvane.1
  DEPENDS ${CMAKE_BINARY_DIR}/man/corvane.1
  COMMENT "Compressing the man page")
add_custom_target(corvane_man ALL DEPENDS ${CMAKE_BINARY_DIR}/man/corvane.1.gz)
install(FILES ${CMAKE_BINARY_DIR}/man/corvane.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# The map's browser module, loaded by the player from <prefix>/lib/corvaneplayer.
if(TARGET corvane_mapbrowser)
  install(TARGETS corvane_mapbrowser LIBRARY DESTINATION lib/corvaneplayer)
endif()

# The build tree's copies beside the executables hold everything the pages
# need (Leaflet included), so install from there.
install(DIRECTORY ${CORVANE_BIN_DIR}/Language DESTINATION ${CMAKE_INSTALL_DATADIR}/corvaneplayer OPTIONAL)
install(DIRECTORY ${CORVANE_BIN_DIR}/Map DESTINATION ${CMAKE_INSTALL_DATADIR}/corvaneplayer OPTIONAL)
install(FILES ${CMAKE_SOURCE_DIR}/resources/desktop/corvaneplayer.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${CMAKE_SOURCE_DIR}/resources/desktop/corvaneplayer.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

# Debian package (scripts/package).
set(CPACK_PACKAGE_NAME corvaneplayer)
set(CPACK_PACKAGE_VENDOR "CorvanePlayer team")
set(CPACK_PACKAGE_CONTACT "CorvanePlayer team <team@corvaneplayer.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Player for the recordings of vehicle video recorders")
set(CPACK_PACKAGE_DESCRIPTION "Plays every camera of a vehicle recorder's recording in step, with sound and the
 vehicle's track on a map; exports time spans as AVI files and repairs damaged
 recordings. Includes the corvane command-line tool.")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)  # library dependencies from the binaries
# The mosaic export draws its labels and times with DejaVu Sans.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, fonts-dejavu-core")
# Chinese interface texts need a CJK font; ffprobe and ffmpeg check exported files.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-wqy-microhei | fonts-noto-cjk, ffmpeg")
include(CPack)
