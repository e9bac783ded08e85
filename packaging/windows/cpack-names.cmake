# Read by cpack once per generator: the zip holds one folder, named as the
# package; the installer is <package>-setup.exe.
if(CPACK_GENERATOR STREQUAL "NSIS")
  set(CPACK_PACKAGE_FILE_NAME "${CPACK_PACKAGE_FILE_NAME}-setup")
  # The installer handles the recordings itself: out of CPack's lists, and
  # each named to the template with the MD5 of the sample it ships, by which
  # it tells a sample from a user's own recording.
  set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/nsis-recordings.cmake)
  set(CPACK_QUORVEX_NSIS_RECORDINGS "")
  foreach(name IN LISTS CPACK_QUORVEX_DATA_FILES)
    file(MD5 "${CPACK_QUORVEX_DATA_DIR}/${name}" md5)
    string(TOUPPER "${md5}" md5)
    string(APPEND CPACK_QUORVEX_NSIS_RECORDINGS "  !insertmacro \${DO} \"${name}\" \"${md5}\"\n")
  endforeach()
else()
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
endif()
