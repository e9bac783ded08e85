# Installing: the program and its six recordings together in one folder (it
# reads its data from its own folder), a launcher on bin/, a desktop entry
# and an icon. `cpack` in the build folder makes a .deb of the same.
set(QUORVEX_APP_DIR lib/quorvex)

install(TARGETS quorvex RUNTIME DESTINATION ${QUORVEX_APP_DIR})
list(TRANSFORM QUORVEX_DATA_FILES PREPEND ${PROJECT_SOURCE_DIR}/data/ OUTPUT_VARIABLE quorvex_data_paths)
install(FILES ${quorvex_data_paths} DESTINATION ${QUORVEX_APP_DIR})
install(PROGRAMS ${PROJECT_SOURCE_DIR}/packaging/quorvex-launcher.sh DESTINATION bin RENAME quorvex)
# quorvex-record beside the program, and on bin/ as a command: it reads
# nothing from its folder, so a link is enough.
install(TARGETS quorvex-record RUNTIME DESTINATION ${QUORVEX_APP_DIR})
if(NOT WIN32)
  file(CREATE_LINK ../${QUORVEX_APP_DIR}/quorvex-record ${PROJECT_BINARY_DIR}/quorvex-record.link SYMBOLIC)
  install(FILES ${PROJECT_BINARY_DIR}/quorvex-record.link DESTINATION bin RENAME quorvex-record)
endif()
install(FILES ${PROJECT_SOURCE_DIR}/packaging/quorvex.desktop DESTINATION share/applications)
install(FILES ${PROJECT_SOURCE_DIR}/src/ui/images/icon.png
        DESTINATION share/icons/hicolor/128x128/apps RENAME quorvex.png)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quorvex)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Quorvex maintainers <maintainers@quorvex.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Stands in for field equipment on a serial line")
set(CPACK_PACKAGE_DESCRIPTION
    "Replays recorded data of frac blenders, a pump controller, a 16-channel data-acquisition unit and engine controllers (SAE J1587, J1939) out of a serial port, in an endless loop, so that a monitoring station can be tested without the equipment.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
# The fonts the window is drawn in; without them Qt substitutes others.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-wine, fonts-dseg")
include(CPack)
