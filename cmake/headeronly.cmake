# The header-only libraries from Debian's packages (CLI11 from libcli11-dev,
# toml++ from libtomlplusplus-dev), for the native build and the MinGW cross
# build alike. Their headers are in /usr/include, which must never be on the
# cross build's include path (it would take the host's C library headers for
# Windows'). So the build tree gets a folder holding only links to the two
# header folders, and that folder is the include path: target `headeronly`.
set(QUORVEX_HEADERONLY_ROOT /usr/include CACHE PATH "Where CLI/ and toml++/ are installed")
set(headeronly_dir ${PROJECT_BINARY_DIR}/headeronly)
file(MAKE_DIRECTORY ${headeronly_dir})
foreach(entry "CLI;CLI.hpp;libcli11-dev" "toml++;toml.h;libtomlplusplus-dev")
  list(GET entry 0 folder)
  list(GET entry 1 header)
  list(GET entry 2 package)
  if(NOT EXISTS ${QUORVEX_HEADERONLY_ROOT}/${folder}/${header})
    message(FATAL_ERROR "${QUORVEX_HEADERONLY_ROOT}/${folder}/${header} is missing: install ${package}")
  endif()
  file(CREATE_LINK ${QUORVEX_HEADERONLY_ROOT}/${folder} ${headeronly_dir}/${folder} SYMBOLIC)
endforeach()

add_library(headeronly INTERFACE)
target_include_directories(headeronly SYSTEM INTERFACE ${headeronly_dir})
# toml++ wholly inline: Debian's pkg-config and CMake files would link its
# shared library instead, which the Windows build does not have.
target_compile_definitions(headeronly INTERFACE TOML_HEADER_ONLY=1)
