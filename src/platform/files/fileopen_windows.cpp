// Data files on Windows. Opened with _wfopen, a streaming recording was held
// open sharing reading only: "move /Y new.csv blender.csv" was refused
// ("Access denied.") and "del" failed with a sharing violation, as did
// editors that save by renaming. Now each read opens the file sharing
// everything and closes it again.
#include <windows.h>

#include <algorithm>

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

bool LookAt(const std::filesystem::path& path, FileLook& look)
{
    // Opened for its attributes only: no read access, nothing kept from others.
    HANDLE handle = CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return false;
    const bool regular = lookOf(handle, look);
    CloseHandle(handle);
    return regular;
}

std::int64_t ReadAt(const std::filesystem::path& path, std::int64_t offset, std::span<char> bytes, FileLook* look)
{
    HANDLE handle = CreateFileW(path.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return -1;
    FileLook seen;
    std::int64_t total = -1;
    if (lookOf(handle, seen)) {
        if (look) *look = seen;
        total = 0;
        while (total < std::int64_t(bytes.size())) {
            const std::uint64_t at = std::uint64_t(offset + total);
            OVERLAPPED where{};
            where.Offset = DWORD(at);
            where.OffsetHigh = DWORD(at >> 32);
            const DWORD want = DWORD(std::min<std::uint64_t>(bytes.size() - std::size_t(total), 1u << 30));
            DWORD read = 0;
            if (!ReadFile(handle, bytes.data() + total, want, &read, &where)) {
                if (GetLastError() != ERROR_HANDLE_EOF) total = -1;
                break;
            }
            if (read == 0) break;
            total += read;
        }
    }
    CloseHandle(handle);
    return total;
}

FilePin::FilePin(const std::filesystem::path&) {}

FilePin::~FilePin() = default;
