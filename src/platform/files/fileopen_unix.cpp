// Data files on Linux: names are bytes.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "fileopen.h"

namespace {

bool lookOf(const struct stat& status, FileLook& look)
{
    if (!S_ISREG(status.st_mode)) return false;
    look.size = status.st_size;
    look.written = std::int64_t(status.st_mtim.tv_sec) * 1000000000 + status.st_mtim.tv_nsec;
    look.volume = status.st_dev;
    look.index = status.st_ino;
    return true;
}

}  // namespace

bool LookAt(const std::filesystem::path& path, FileLook& look)
{
    struct stat status;
    return ::stat(path.c_str(), &status) == 0 && lookOf(status, look);
}

std::int64_t ReadAt(const std::filesystem::path& path, std::int64_t offset, std::span<char> bytes, FileLook* look)
{
    // Without O_NONBLOCK the open of a named pipe would wait for a writer.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return -1;
    struct stat status;
    FileLook seen;
    std::int64_t total = -1;
    if (::fstat(fd, &status) == 0 && lookOf(status, seen)) {
        if (look) *look = seen;
        total = 0;
        while (total < std::int64_t(bytes.size())) {
            const ssize_t read = ::pread(fd, bytes.data() + total, bytes.size() - std::size_t(total), off_t(offset + total));
            if (read < 0 && errno == EINTR) continue;
            if (read < 0) total = -1;
            if (read <= 0) break;
            total += read;
        }
    }
    ::close(fd);
    return total;
}

// A descriptor that only names the file: it reads nothing, and keeps the
// inode from being freed and its number given to another file.
FilePin::FilePin(const std::filesystem::path& path) : handle_(::open(path.c_str(), O_PATH | O_CLOEXEC)) {}

FilePin::~FilePin()
{
    if (handle_ >= 0) ::close(handle_);
}
