// Data files on Windows. _wfopen shares a file for reading only: while it was
// open, "move /Y new.csv blender.csv" was refused ("Access denied") and "del"
// failed with a sharing violation, as did editors that save by renaming. A
// file opened with every share mode may be renamed over, replaced or deleted
// while it streams; the C stream is made over that handle.
#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include "fileopen.h"

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

bool lookOf(HANDLE handle, FileLook& look)
{
    BY_HANDLE_FILE_INFORMATION info;
    if (GetFileType(handle) != FILE_TYPE_DISK || !GetFileInformationByHandle(handle, &info)) return false;
    if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return false;
    look.size = (std::int64_t(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    look.written = (std::int64_t(info.ftLastWriteTime.dwHighDateTime) << 32) | info.ftLastWriteTime.dwLowDateTime;
    look.volume = info.dwVolumeSerialNumber;
    look.index = (std::uint64_t(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    return true;
}

}  // namespace

std::FILE* OpenBytes(const std::filesystem::path& path)
{
    HANDLE handle = CreateFileW(path.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return nullptr;
    const int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_RDONLY | _O_BINARY);
    if (descriptor == -1) {
        CloseHandle(handle);
        return nullptr;
    }
    std::FILE* file = _fdopen(descriptor, "rb");
    if (!file) _close(descriptor);  // closes the handle with it
    return file;
}

bool LookAt(const std::filesystem::path& path, FileLook& look)
{
    // Opened for its attributes only: no read access, nothing kept from others.
    HANDLE handle = CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return false;
    const bool regular = lookOf(handle, look);
    CloseHandle(handle);
    return regular;
}

bool LookAt(std::FILE* file, FileLook& look)
{
    return lookOf(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file))), look);
}

std::int64_t TellBytes(std::FILE* file) { return _ftelli64(file); }

bool SeekBytes(std::FILE* file, std::int64_t offset) { return _fseeki64(file, offset, SEEK_SET) == 0; }
