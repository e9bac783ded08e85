# Installing: the program and its six sample recordings together in one
# folder, a launcher on bin/, the desktop entry, icons, AppStream metadata,
# manual pages and the documentation Debian asks for. `cpack` in the build
# folder makes a .deb of the same; scripts/package builds it with Debian's
# build flags and checks it.
set(QUORVEX_APP_DIR lib/quorvex)
set(QUORVEX_DOC_DIR share/doc/quorvex)

install(TARGETS quorvex RUNTIME DESTINATION ${QUORVEX_APP_DIR})
list(TRANSFORM QUORVEX_DATA_FILES PREPEND ${PROJECT_SOURCE_DIR}/data/ OUTPUT_VARIABLE quorvex_data_paths)
install(FILES ${quorvex_data_paths} DESTINATION ${QUORVEX_APP_DIR})
install(PROGRAMS ${PROJECT_SOURCE_DIR}/packaging/quorvex-launcher.sh DESTINATION bin RENAME quorvex)
# The console programs beside the window, and on bin/ as commands through a
# link: each finds its folder through the link (quorvex-play the samples
# there, as the window does), so nothing more is needed.
foreach(program quorvex-record quorvex-play)
  install(TARGETS ${program} RUNTIME DESTINATION ${QUORVEX_APP_DIR})
  file(CREATE_LINK ../${QUORVEX_APP_DIR}/${program} ${PROJECT_BINARY_DIR}/${program}.link SYMBOLIC)
  install(FILES ${PROJECT_BINARY_DIR}/${program}.link DESTINATION bin RENAME ${program})
endforeach()
# A stripped install (cpack) also drops the compiler's notes, as Debian's own
# tools do.
install(CODE "
  if(CMAKE_INSTALL_DO_STRIP)
    foreach(program quorvex quorvex-record quorvex-play)
      execute_process(COMMAND \"${CMAKE_STRIP}\" --remove-section=.comment --remove-section=.note
                      \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${QUORVEX_APP_DIR}/\${program}\"
                      COMMAND_ERROR_IS_FATAL ANY)
    endforeach()
  endif()")

# The desktop: the menu entry, the icon at each size and scalable, and what
# software centres show. Desktops look for these under /usr and /usr/local.
set(icons ${PROJECT_SOURCE_DIR}/src/ui/images/icon)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/quorvex.desktop DESTINATION share/applications)
foreach(size 16 32 48 64 128 256)
  install(FILES ${icons}/quorvex-${size}.png DESTINATION share/icons/hicolor/${size}x${size}/apps RENAME quorvex.png)
endforeach()
install(FILES ${icons}/quorvex.svg DESTINATION share/icons/hicolor/scalable/apps)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/org.quorvex.quorvex.metainfo.xml DESTINATION share/metainfo)

# Manual pages, the changelog and the README compressed as Debian keeps them
# (gzip -9n: no name or time inside, so the package is reproducible).
set(compressed)
foreach(pair man/quorvex.1:quorvex.1 man/quorvex-record.1:quorvex-record.1
             man/quorvex-play.1:quorvex-play.1 debian/changelog:changelog ../README.md:README.md
             ../docs/performance.md:performance.md ../docs/recordings.md:recordings.md
             ../docs/reliability.md:reliability.md ../docs/windows.md:windows.md)
  string(REPLACE ":" ";" pair ${pair})
  list(GET pair 0 source)
  list(GET pair 1 name)
  add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/gz/${name}.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/gz
    COMMAND gzip -9n -c ${PROJECT_SOURCE_DIR}/packaging/${source} > ${PROJECT_BINARY_DIR}/gz/${name}.gz
    DEPENDS ${PROJECT_SOURCE_DIR}/packaging/${source} VERBATIM)
  list(APPEND compressed ${PROJECT_BINARY_DIR}/gz/${name}.gz)
endforeach()
add_custom_target(compressed_docs ALL DEPENDS ${compressed})
install(FILES ${PROJECT_BINARY_DIR}/gz/quorvex.1.gz ${PROJECT_BINARY_DIR}/gz/quorvex-record.1.gz
              ${PROJECT_BINARY_DIR}/gz/quorvex-play.1.gz
        DESTINATION share/man/man1)
install(FILES ${PROJECT_BINARY_DIR}/gz/changelog.gz ${PROJECT_BINARY_DIR}/gz/README.md.gz
              ${PROJECT_SOURCE_DIR}/packaging/debian/copyright
        DESTINATION ${QUORVEX_DOC_DIR})
# What the README links to: the documents (compressed, as Debian keeps
# them) and the pictures it shows.
install(FILES ${PROJECT_BINARY_DIR}/gz/performance.md.gz ${PROJECT_BINARY_DIR}/gz/recordings.md.gz
              ${PROJECT_BINARY_DIR}/gz/reliability.md.gz ${PROJECT_BINARY_DIR}/gz/windows.md.gz
              ${PROJECT_SOURCE_DIR}/docs/main-window.png ${PROJECT_SOURCE_DIR}/docs/list-window.png
              ${PROJECT_SOURCE_DIR}/docs/windows-wine.png
        DESTINATION ${QUORVEX_DOC_DIR}/docs)
# A site file to start from, as it is (small, and meant to be copied and
# edited).
install(FILES ${PROJECT_SOURCE_DIR}/packaging/site-example.toml DESTINATION ${QUORVEX_DOC_DIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quorvex)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Quorvex maintainers <maintainers@quorvex.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Stands in for field equipment on a serial line")
# Lines of at most 80 characters, as Debian's tools show them.
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
  "Quorvex replays recorded data out of a serial port, in an endless loop, so"
  "that a monitoring or data-acquisition station can be connected, tested and"
  "demonstrated without the equipment it normally listens to: frac blenders, a"
  "pump controller, a 16-channel data-acquisition unit and engine controllers"
  "(SAE J1587, J1939). It comes with a sample recording of each; with"
  "quorvex-record, which records real equipment into a file that replays"
  "cleanly; and with quorvex-play, which streams a whole site of devices at"
  "once, each from its own recording on its own port (a serial port or one"
  "on the network), from a site file or a script, without a display.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
# The fonts the window is drawn in; without them Qt substitutes others.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-wine, fonts-dseg")
include(CPack)
