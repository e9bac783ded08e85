# Read by cpack once per generator: the zip holds one folder, named as the
# package; the installer is <package>-setup.exe.
if(CPACK_GENERATOR STREQUAL "NSIS")
  set(CPACK_PACKAGE_FILE_NAME "${CPACK_PACKAGE_FILE_NAME}-setup")
else()
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
endif()
