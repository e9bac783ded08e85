# Run by cpack for the installer, once the files are in its staging folder:
# the recordings leave it, so that CPack's own lists of files to install and
# to remove never name them. The template installs and removes them by its
# own rules, which keep a user's own recordings (see NSIS.template.in).
foreach(name IN LISTS CPACK_QUORVEX_DATA_FILES)
  file(REMOVE "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/${name}")
endforeach()
