# Cross-compiling for 64-bit Windows with Debian's MinGW-w64.
# The -posix compilers: Qt 6 needs the posix thread model (std::thread, std::mutex).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(triple x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${triple}-g++-posix)
set(CMAKE_RC_COMPILER ${triple}-windres)
set(CMAKE_AR ${triple}-gcc-ar-posix CACHE FILEPATH "")
set(CMAKE_RANLIB ${triple}-gcc-ranlib-posix CACHE FILEPATH "")

# Libraries and packages come from the MinGW sysroot and, once built, from the
# Windows Qt prefix (QUORVEX_QT_WINDOWS_PREFIX); programs come from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${triple})
if(DEFINED ENV{QUORVEX_QT_WINDOWS_PREFIX})
    list(APPEND CMAKE_FIND_ROOT_PATH $ENV{QUORVEX_QT_WINDOWS_PREFIX})
endif()
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
