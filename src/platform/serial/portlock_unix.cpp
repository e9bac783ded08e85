// Lock files in the lock folder. Three forms are in use: the process number
// as ten ASCII characters and a newline (the long-standing form, and the one
// written here), the old binary form (the number as 4 bytes), and the form Qt
// writes ("pid\nprogram\nhost\n"). A lock naming a live process holds the
// port and is never touched; one naming a dead process is stale and goes.
// A lock that names no process is left alone and blocks nobody.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "portlock.h"

namespace {

// /var/lock is a link to /run/lock on current systems; older ones have only it.
constexpr const char* kLockFolders[] = {"/run/lock", "/var/lock"};

std::string realPath(const std::string& path)
{
    char* resolved = ::realpath(path.c_str(), nullptr);
    if (!resolved) return path;
    std::string result = resolved;
    std::free(resolved);
    return result;
}

// Each lock folder once, as the system resolves it.
std::vector<std::string> lockFolders()
{
    std::vector<std::string> folders;
    for (const char* folder : kLockFolders) {
        struct stat info {};
        if (::stat(folder, &info) != 0 || !S_ISDIR(info.st_mode)) continue;
        const std::string resolved = realPath(folder);
        bool seen = false;
        for (const std::string& other : folders) seen = seen || other == resolved;
        if (!seen) folders.push_back(resolved);
    }
    return folders;
}

std::string baseName(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The usual name is the device file's own name; Qt names it by its path under
// /dev with '/' made '_' (/dev/pts/3: LCK..pts_3). Both, for the device as
// named and for the device that name leads to.
std::vector<std::string> lockNames(const std::string& device)
{
    std::vector<std::string> names;
    auto add = [&names](std::string name) {
        if (name.empty()) return;
        name = "LCK.." + name;
        for (const std::string& other : names)
            if (other == name) return;
        names.push_back(name);
    };
    for (const std::string& path : {realPath(device), device}) {
        add(baseName(path));
        std::string qtName = path.rfind("/dev/", 0) == 0 ? path.substr(5) : path;
        for (char& c : qtName) c = c == '/' ? '_' : c;
        add(qtName);
    }
    return names;
}

// The process number a lock file holds; 0 when it holds none (no such file,
// another kind of file, a form not known).
long long pidIn(const std::string& path)
{
    // Not following links, and not waiting on a pipe put there.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return 0;
    struct stat info {};
    char text[64] = {};
    ssize_t size = 0;
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) size = ::read(fd, text, sizeof text - 1);
    ::close(fd);
    if (size <= 0) return 0;
    bool ascii = true;
    for (ssize_t i = 0; i < size; ++i) {
        ascii = ascii && (text[i] == ' ' || text[i] == '\n' || (text[i] >= '0' && text[i] <= '9'));
    }
    if (size == 4 && !ascii) {
        std::int32_t pid = 0;
        std::memcpy(&pid, text, sizeof pid);
        return pid > 0 ? pid : 0;  // never a process group: kill() reads those in negatives
    }
    const char* at = text;
    while (*at == ' ' || *at == '\t') ++at;
    char* end = nullptr;
    const long long pid = std::strtoll(at, &end, 10);
    const bool ends = end != at && (*end == '\n' || *end == '\0' || *end == ' ');
    return ends && pid > 0 && pid <= 0x7fffffff ? pid : 0;
}

bool alive(long long pid) { return ::kill(pid_t(pid), 0) == 0 || errno == EPERM; }

}  // namespace

std::string ProgramOf(long long pid)
{
    const std::string path = "/proc/" + std::to_string(pid) + "/comm";
    std::FILE* comm = std::fopen(path.c_str(), "re");
    if (!comm) return {};
    char name[64] = {};
    const bool read = std::fgets(name, sizeof name, comm) != nullptr;
    std::fclose(comm);
    std::string program = read ? name : "";
    if (!program.empty() && program.back() == '\n') program.pop_back();
    return program;
}

namespace {

// The lock files for device that name a process.
struct FoundLock {
    std::string path;
    long long pid;
};

std::vector<FoundLock> locksFor(const std::string& device)
{
    std::vector<FoundLock> found;
    for (const std::string& folder : lockFolders()) {
        for (const std::string& name : lockNames(device)) {
            const std::string path = folder + "/" + name;
            if (long long pid = pidIn(path)) found.push_back({path, pid});
        }
    }
    return found;
}

// Writes this process's lock: created only if there is none, as ten ASCII
// characters and a newline, readable by every user.
std::string writeOwnLock(const std::string& device)
{
    const std::vector<std::string> folders = lockFolders();
    if (folders.empty()) return {};
    const std::string path = folders.front() + "/LCK.." + baseName(realPath(device));
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0) return {};
    char text[16];
    const int length = std::snprintf(text, sizeof text, "%10ld\n", long(::getpid()));
    const bool written = ::fchmod(fd, 0644) == 0 && ::write(fd, text, std::size_t(length)) == length;
    ::close(fd);
    if (written) {
        NoteHeldLock(path);
        return path;
    }
    ::unlink(path.c_str());
    return {};
}

}  // namespace

std::optional<LockHolder> LockHolderOf(const std::string& device)
{
    for (const FoundLock& lock : locksFor(device)) {
        if (alive(lock.pid)) return LockHolder{lock.pid, lock.path, ProgramOf(lock.pid)};
    }
    return std::nullopt;
}

std::string TakeLock(const std::string& device, std::optional<LockHolder>& holder)
{
    holder = LockHolderOf(device);
    if (holder) return {};
    // A dead process's lock that this user may not remove (another user's, in
    // the sticky lock folder) stays, and blocks no one: the device is held.
    for (const FoundLock& lock : locksFor(device)) {
        if (pidIn(lock.path) == lock.pid && !alive(lock.pid)) ::unlink(lock.path.c_str());
    }
    return writeOwnLock(device);
}

void DropLock(const std::string& lockFile)
{
    if (lockFile.empty()) return;
    ForgetHeldLock(lockFile);
    if (pidIn(lockFile) == ::getpid()) ::unlink(lockFile.c_str());
}

std::string HolderText(const LockHolder& holder)
{
    const std::string process = "process " + std::to_string(holder.pid);
    return "held by " + (holder.program.empty() ? process : holder.program + " (" + process + ")") +
           ", lock file " + holder.lockFile;
}
