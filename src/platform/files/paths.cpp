// Paths: a folder and a file name made one path. The folders themselves, as
// each system names them, are in paths_unix.cpp and paths_windows.cpp.
#include <QDir>

#include "../runtime.h"

// Joined as bytes: a folder name that is no valid UTF-8 (a Linux file name
// may be any bytes) would not survive a trip through QString.
std::string MakePathname(std::string_view directory, std::string_view fileName)
{
    const char separator = QDir::separator().toLatin1();
    std::string path(directory);
    if (!path.empty() && path.back() != separator && path.back() != '/') path += separator;
    path += fileName;
    return path;
}
