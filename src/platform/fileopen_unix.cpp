// Data files on Linux: names are bytes, and an open file never stands in the
// way of a rename or a delete.
#include <sys/stat.h>

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

std::FILE* OpenBytes(const std::filesystem::path& path) { return std::fopen(path.c_str(), "rb"); }

bool LookAt(const std::filesystem::path& path, FileLook& look)
{
    struct stat status;
    return ::stat(path.c_str(), &status) == 0 && lookOf(status, look);
}

bool LookAt(std::FILE* file, FileLook& look)
{
    struct stat status;
    return ::fstat(fileno(file), &status) == 0 && lookOf(status, look);
}

std::int64_t TellBytes(std::FILE* file) { return ftello(file); }

bool SeekBytes(std::FILE* file, std::int64_t offset) { return fseeko(file, off_t(offset), SEEK_SET) == 0; }
