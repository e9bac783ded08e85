// Who has a device open, as fuser finds them: every process's descriptors
// under /proc, compared by the device they lead to (any name of it). Looked
// at only when a port is refused or marked, never on a plain open: on a busy
// machine that is thousands of descriptors.
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>

#include "portlock.h"

namespace {

// A folder's entries that are numbers (processes, descriptors), in no order.
template <typename Each>
bool eachNumber(const std::string& folder, Each each)
{
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return false;
    while (const dirent* entry = ::readdir(dir)) {
        char* end = nullptr;
        const long number = std::strtol(entry->d_name, &end, 10);
        if (end != entry->d_name && *end == '\0' && !each(number)) break;
    }
    ::closedir(dir);
    return true;
}

}  // namespace

DeviceUsers UsersOf(const std::string& device, int ownDescriptor)
{
    DeviceUsers users;
    struct stat wanted {};
    if (::stat(device.c_str(), &wanted) != 0 || !S_ISCHR(wanted.st_mode)) return users;
    const long self = long(::getpid());
    eachNumber("/proc", [&](long pid) {
        const std::string fds = "/proc/" + std::to_string(pid) + "/fd";
        bool uses = false;
        // Another user's descriptors are closed to an ordinary user.
        const bool looked = eachNumber(fds, [&](long fd) {
            if (pid == self && fd == ownDescriptor) return true;
            struct stat info {};
            const std::string link = fds + "/" + std::to_string(fd);
            uses = ::stat(link.c_str(), &info) == 0 && S_ISCHR(info.st_mode) && info.st_rdev == wanted.st_rdev;
            return !uses;
        });
        if (!looked && errno == EACCES) users.unseen = true;
        if (uses) users.processes.push_back({pid, {}, ProgramOf(pid)});
        return true;
    });
    return users;
}

std::string UsersText(const DeviceUsers& users)
{
    constexpr std::size_t kNamed = 3;
    const std::size_t count = users.processes.size(), named = std::min(count, kNamed);
    std::string text = "held by ";
    for (std::size_t i = 0; i < named; ++i) {
        const LockHolder& user = users.processes[i];
        const std::string process = "process " + std::to_string(user.pid);
        if (i > 0) text += i + 1 == named && count <= kNamed ? " and " : ", ";
        text += user.program.empty() ? process : user.program + " (" + process + ")";
    }
    if (count > kNamed) text += " and " + std::to_string(count - kNamed) + " more";
    return text;
}
