// The program's own folder and the user's recordings folder, as Linux names
// them: bytes, since a folder name need not be valid UTF-8.
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

#include <QCoreApplication>

#include "../runtime.h"

std::string GetProjectDir()
{
    std::error_code error;
    auto exe = std::filesystem::canonical("/proc/self/exe", error);
    if (error) return QCoreApplication::applicationDirPath().toLocal8Bit().toStdString();
    return exe.parent_path().string();
}

// The user's own data folder: a program installed by a package lives in a
// folder that is root's, and whose files an upgrade replaces.
std::string GetRecordingsDir()
{
    // A variable that is unset, empty or not an absolute path is ignored, as
    // the XDG Base Directory rules ask.
    std::string data;
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && xdg[0] == '/') {
        data = xdg;
    } else {
        const char* home = std::getenv("HOME");
        if (!home || home[0] != '/') {
            const passwd* user = getpwuid(getuid());
            home = user ? user->pw_dir : nullptr;
        }
        if (!home || home[0] != '/') return {};
        data = std::string(home) + "/.local/share";
    }
    while (!data.empty() && data.back() == '/') data.pop_back();
    return data + "/quorvex";
}

std::string MakeRecordingsDir()
{
    const std::string folder = GetRecordingsDir();
    if (folder.empty()) return "no home folder to keep recordings in";
    // Each missing folder on the way is made for the user alone (0700), as
    // the XDG rules ask of the folders they name.
    for (std::size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
        const std::string part = folder.substr(0, slash);
        if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST)
            return "cannot make the folder " + part + ": " + std::strerror(errno);
        if (slash == std::string::npos) break;
    }
    struct stat status;
    if (::stat(folder.c_str(), &status) != 0 || !S_ISDIR(status.st_mode)) return folder + " is no folder";
    return {};
}
