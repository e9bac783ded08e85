// Opening and looking at data files as each system names and shares them:
// UTF-8 bytes on Linux; on Windows a wide-character name (a narrow one is read
// in the ANSI code page, which fails in folders with other characters).
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>

// How a file looks from outside, without reading it: enough to tell that
// another file now has its name, or that it was written to.
struct FileLook {
    std::int64_t size = 0;
    std::int64_t written = 0;  // modification time, in the system's own units
    std::uint64_t volume = 0;  // the device, or the volume's serial number
    std::uint64_t index = 0;   // the inode, or the file index
    bool operator==(const FileLook&) const = default;
};

// Opens a file for reading as bytes. While it is open, others may still
// write, rename over, replace or delete it: a recording being streamed is
// the user's to change.
std::FILE* OpenBytes(const std::filesystem::path& path);

// The look of the regular file at path; false when there is none (missing, or
// a folder, a device or a pipe). Allocates nothing.
bool LookAt(const std::filesystem::path& path, FileLook& look);
// The look of an open file.
bool LookAt(std::FILE* file, FileLook& look);

// The read position of a file and a move to one, in 64 bits on every system.
std::int64_t TellBytes(std::FILE* file);
bool SeekBytes(std::FILE* file, std::int64_t offset);
