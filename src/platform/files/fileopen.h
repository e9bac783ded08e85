// Looking at and reading data files as each system names and shares them:
// UTF-8 bytes on Linux; on Windows a wide-character name (a narrow one is read
// in the ANSI code page, which fails in folders with other characters).
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <utility>

// How a file looks from outside, without reading it: enough to tell that
// another file now has its name, or that it was written to.
struct FileLook {
    std::int64_t size = 0;
    std::int64_t written = 0;  // modification time, in the system's own units
    std::uint64_t volume = 0;  // the device, or the volume's serial number
    std::uint64_t index = 0;   // the inode, or the file index
    bool operator==(const FileLook&) const = default;
};

// The look of the regular file at path; false when there is none (missing, or
// a folder, a device or a pipe). Allocates nothing.
bool LookAt(const std::filesystem::path& path, FileLook& look);

// Reads up to bytes.size() bytes at offset from the regular file at path,
// and gives its look when asked. The file is opened for this read alone,
// sharing everything: between reads nothing holds it, so that it may be
// renamed over, replaced or deleted (Windows, and Wine, refuse to replace a
// file that is open, whatever it shares). Returns the count read, fewer at
// the end of the file, or -1 when there is no regular file to read there.
// Allocates nothing.
std::int64_t ReadAt(const std::filesystem::path& path, std::int64_t offset, std::span<char> bytes,
                    FileLook* look = nullptr);

// Keeps the file at path from being freed while it is read, so that no new
// file takes its identity: Linux gives a deleted file's inode number to the
// next file made. Holds nothing on Windows, whose file indexes are not
// reused so, and where a file held open could not be replaced.
class FilePin {
public:
    FilePin() = default;
    explicit FilePin(const std::filesystem::path& path);
    ~FilePin();
    FilePin(FilePin&& other) noexcept : handle_(other.handle_) { other.handle_ = -1; }
    FilePin& operator=(FilePin&& other) noexcept
    {
        std::swap(handle_, other.handle_);
        return *this;
    }

private:
    int handle_ = -1;
};
