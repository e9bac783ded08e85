# The Windows package: one folder with the program and its two console
# companions, the Qt and MinGW run-time DLLs they load, the two Qt plugins the
# window needs, its fonts, the six recordings (they read their data from
# their own folder) and a site file for quorvex-play to start from. `cpack`
# in the build folder makes quorvex-<version>-win64.zip of that folder and an
# NSIS installer that puts it, per user and without administrator rights,
# under %LOCALAPPDATA%\Programs.
install(TARGETS quorvex quorvex-record quorvex-play RUNTIME DESTINATION .)
list(TRANSFORM QUORVEX_DATA_FILES PREPEND ${PROJECT_SOURCE_DIR}/data/ OUTPUT_VARIABLE quorvex_data_paths)
install(FILES ${quorvex_data_paths} ${PROJECT_SOURCE_DIR}/packaging/site-example.toml DESTINATION .)

install(FILES $<TARGET_FILE:Qt6::Core> $<TARGET_FILE:Qt6::Gui> $<TARGET_FILE:Qt6::Widgets> $<TARGET_FILE:Qt6::Network>
  DESTINATION .)
install(FILES $<TARGET_FILE:Qt6::QWindowsIntegrationPlugin> DESTINATION platforms)
install(FILES $<TARGET_FILE:Qt6::QWindowsVistaStylePlugin> DESTINATION styles)

# The compiler's own run-time DLLs, wherever this compiler keeps them.
foreach(dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
                  OUTPUT_VARIABLE dll_path OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT IS_ABSOLUTE "${dll_path}" OR NOT EXISTS "${dll_path}")
    message(FATAL_ERROR "The compiler does not know where ${dll} is (said: ${dll_path})")
  endif()
  install(FILES ${dll_path} DESTINATION .)
endforeach()

# The DLLs come with their symbols (the program is stripped as a target):
# without them the folder is 25 MB smaller.
install(CODE "
  file(GLOB_RECURSE dlls \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/*.dll\")
  foreach(dll IN LISTS dlls)
    execute_process(COMMAND \"${CMAKE_STRIP}\" --strip-unneeded \"\${dll}\" COMMAND_ERROR_IS_FATAL ANY)
  endforeach()")

# The fonts the panels name, loaded from fonts/ beside the program, and the
# licence texts of everything shipped that is not ours (ours, LICENSE, is
# beside the program).
set(QUORVEX_WINDOWS_FONTS
  /usr/share/wine/fonts/tahoma.ttf /usr/share/wine/fonts/tahomabd.ttf
  /usr/share/fonts/truetype/dseg/DSEG14Classic-Regular.ttf)
install(FILES ${QUORVEX_WINDOWS_FONTS} DESTINATION fonts)
install(FILES /usr/share/doc/fonts-wine/copyright DESTINATION licences RENAME fonts-tahoma.txt)
install(FILES /usr/share/doc/fonts-dseg/copyright DESTINATION licences RENAME fonts-dseg.txt)
install(FILES /usr/share/doc/qt6-base-dev/copyright DESTINATION licences RENAME qt.txt)
# quorvex-record.exe and quorvex-play.exe read their command lines with CLI11,
# and quorvex-play.exe its site files with toml++ (header-only, compiled in).
install(FILES /usr/share/doc/libcli11-dev/copyright DESTINATION licences RENAME cli11.txt)
install(FILES /usr/share/doc/libtomlplusplus-dev/copyright DESTINATION licences RENAME tomlplusplus.txt)
install(FILES /usr/share/doc/mingw-w64-common/copyright DESTINATION licences RENAME mingw-w64-runtime.txt)
install(FILES /usr/share/doc/gcc-mingw-w64-base/copyright DESTINATION licences RENAME gcc-runtime.txt)
install(FILES /usr/share/common-licenses/LGPL-3 /usr/share/common-licenses/GPL-3 DESTINATION licences)
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION .)
# What the README links to.
install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs/ DESTINATION docs)

set(CPACK_GENERATOR ZIP NSIS)
set(CPACK_PACKAGE_NAME quorvex)
set(CPACK_PACKAGE_VENDOR Quorvex)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME quorvex-${PROJECT_VERSION}-win64)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Stands in for field equipment on a serial line")
set(CPACK_PACKAGE_INSTALL_DIRECTORY Quorvex)
set(CPACK_PACKAGE_EXECUTABLES quorvex Quorvex)
set(CPACK_STRIP_FILES ON)


# "Quorvex 2.14": the installer's title, the line under its pages (the
# template's BrandingText) and the Apps entry.
set(quorvex_title "Quorvex ${PROJECT_VERSION}")
set(CPACK_NSIS_PACKAGE_NAME ${quorvex_title})
set(CPACK_NSIS_DISPLAY_NAME ${quorvex_title})
# The licence page shows ours, with the line ends NSIS's text pages are
# documented to want.
configure_file(${PROJECT_SOURCE_DIR}/LICENSE ${PROJECT_BINARY_DIR}/LICENSE.txt @ONLY NEWLINE_STYLE CRLF)
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_BINARY_DIR}/LICENSE.txt)
set(CPACK_NSIS_INSTALL_ROOT "$LOCALAPPDATA\\\\Programs")
set(CPACK_NSIS_INSTALLED_ICON_NAME quorvex.exe)
set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
set(CPACK_NSIS_EXECUTABLES_DIRECTORY .)
set(CPACK_NSIS_MUI_FINISHPAGE_RUN quorvex.exe)
# The recordings are installed and removed by the template's own rules, which
# keep a user's own: it needs their names and where the samples are.
set(CPACK_QUORVEX_DATA_FILES ${QUORVEX_DATA_FILES})
set(CPACK_QUORVEX_DATA_DIR ${PROJECT_SOURCE_DIR}/data)
# Our copy of CMake's template (what it changes is said at its top).
list(PREPEND CMAKE_MODULE_PATH ${PROJECT_SOURCE_DIR}/packaging/windows)
# The installer is named apart from the zip.
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_SOURCE_DIR}/packaging/windows/cpack-names.cmake)
include(CPack)
