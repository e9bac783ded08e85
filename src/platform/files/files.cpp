// Data files: read by line or in one block, through a buffer of the
// program's own that each read of the file refills (the file is never held
// open between reads), and watched for the changes users make to a recording
// while it streams.
#include <algorithm>
#include <array>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <new>
#include <string>
#include <system_error>

#include "../runtime.h"
#include "../system/process.h"
#include "fileopen.h"

namespace {

// Bytes read from the file at a time: a line longer than this is read in
// several, its rest skipped in blocks of this size.
constexpr std::size_t kBlockBytes = 64 * 1024;
// How many of the last bytes read are kept to tell an append from a rewrite.
constexpr std::size_t kWitnessBytes = 64;

// A file being read, and how it looked when it was opened.
struct OpenedFile {
    std::filesystem::path path;
    FilePin pin;
    FileLook look;
    std::unique_ptr<char[]> block;
    std::size_t begin = 0, end = 0;  // the bytes read and not yet taken: block[begin, end)
    std::int64_t blockAt = 0;        // where block[0] is in the file
    bool atEnd = false;              // the file gave no more bytes: it stays at its end
    bool failed = false;             // and that was because it could not be read
    // Whether the last line read ended with its LF: only then does a line
    // appended to the file start where reading stands.
    bool atLineStart = true;
    // The last bytes taken, up to the read position, in a ring.
    std::array<char, kWitnessBytes> recent{};
    std::uint64_t recentCount = 0;

    std::int64_t position() const { return blockAt + std::int64_t(begin); }
    void take(std::size_t count)
    {
        const char* bytes = block.get() + begin;
        for (std::size_t i = count > kWitnessBytes ? count - kWitnessBytes : 0; i < count; ++i)
            recent[recentCount++ % kWitnessBytes] = bytes[i];
        begin += count;
    }
};

std::map<int, OpenedFile>& openFiles()
{
    static std::map<int, OpenedFile> files;
    return files;
}

int nextHandle = 1;

OpenedFile* openedFile(int handle)
{
    auto it = openFiles().find(handle);
    return it == openFiles().end() ? nullptr : &it->second;
}

std::filesystem::path toPath(std::string_view path)
{
    return std::filesystem::path(std::u8string(path.begin(), path.end()));
}

// Reads on after the bytes held, which move to the front of the block.
// False when nothing more came: the end of the file, or no file to read.
bool fill(OpenedFile& opened)
{
    if (opened.atEnd) return false;
    char* block = opened.block.get();
    std::memmove(block, block + opened.begin, opened.end - opened.begin);
    opened.blockAt += std::int64_t(opened.begin);
    opened.end -= opened.begin;
    opened.begin = 0;
    const std::int64_t read =
        ReadAt(opened.path, opened.blockAt + std::int64_t(opened.end), {block + opened.end, kBlockBytes - opened.end});
    opened.atEnd = read <= 0;
    opened.failed = read < 0;
    if (read > 0) opened.end += std::size_t(read);
    return read > 0;
}

// Skips the rest of an over-long line, up to and including its LF, a block
// at a time. A termination request stops the skip, so that even a file of
// gigabytes without a line end cannot keep the program from ending. Returns
// whether the line ended with an LF.
bool skipRestOfLine(OpenedFile& opened)
{
    while (!TerminationPending()) {
        if (opened.begin == opened.end && !fill(opened)) return false;
        const char* start = opened.block.get() + opened.begin;
        const std::size_t held = opened.end - opened.begin;
        const void* lf = std::memchr(start, '\n', held);
        opened.take(lf ? std::size_t(static_cast<const char*>(lf) - start) + 1 : held);
        if (lf) return true;
    }
    return false;
}

// Whether the last bytes taken are still in the file where they were read:
// an append leaves them, a rewrite in place (cp onto the file, even of a
// longer one) does not. What was read ahead is then read again from the
// file as it is now.
bool readsAsBefore(OpenedFile& opened)
{
    const std::int64_t position = opened.position();
    const std::size_t count =
        std::size_t(std::min<std::uint64_t>({opened.recentCount, kWitnessBytes, std::uint64_t(position)}));
    std::array<char, kWitnessBytes> now;
    if (ReadAt(opened.path, position - std::int64_t(count), {now.data(), count}) != std::int64_t(count)) return false;
    for (std::size_t i = 0; i < count; ++i)
        if (now[i] != opened.recent[(opened.recentCount - count + i) % kWitnessBytes]) return false;
    opened.blockAt = position;
    opened.begin = opened.end = 0;
    opened.atEnd = false;
    return true;
}

}  // namespace

int OpenFile(std::string_view path, FileAccess /*access*/, FileType type)
{
    // Only a regular file is data. A directory has no lines; the open of a
    // pipe waits for a writer, and a device such as /dev/zero never ends a
    // line: either would hold the event loop for good.
    OpenedFile opened{toPath(path)};
    opened.pin = FilePin(opened.path);
    opened.block.reset(new (std::nothrow) char[kBlockBytes]);
    if (!opened.block) return -1;
    const std::int64_t read = ReadAt(opened.path, 0, {opened.block.get(), kBlockBytes}, &opened.look);
    if (read < 0) return -1;
    opened.end = std::size_t(read);
    // Spreadsheets start the text files they save with one.
    if (type == FileType::Text && read >= 3 && std::memcmp(opened.block.get(), "\xEF\xBB\xBF", 3) == 0) opened.take(3);
    int handle = nextHandle++;
    openFiles().emplace(handle, std::move(opened));
    return handle;
}

bool FileRewritten(int handle)
{
    OpenedFile* opened = openedFile(handle);
    if (!opened) return false;
    FileLook now;
    if (!LookAt(opened->path, now)) return true;
    if (now == opened->look) return false;
    // Another file under the name, or a shorter one: what was read is not in it.
    if (now.volume != opened->look.volume || now.index != opened->look.index || now.size < opened->look.size)
        return true;
    // The same file, grown or only touched: an append goes on where reading
    // stands, unless that is inside a line (a last line without its LF).
    if (!opened->atLineStart || !readsAsBefore(*opened)) return true;
    opened->look = now;
    return false;
}

int CloseFile(int handle) { return openFiles().erase(handle) ? 0 : -1; }

int ReadLine(int handle, std::span<char> buffer, int maxChars)
{
    OpenedFile* opened = openedFile(handle);
    if (!opened || buffer.empty()) return -1;
    const std::size_t limit =
        std::min(std::size_t(std::clamp<int>(maxChars, 0, int(buffer.size()) - 1)), kBlockBytes - 1);
    // The line held: up to its LF, or as much as is kept of a longer one, or
    // up to the end of the file.
    std::size_t length = 0;
    bool ended = false;
    for (;;) {
        const char* start = opened->block.get() + opened->begin;
        length = opened->end - opened->begin;
        if (const void* lf = std::memchr(start, '\n', length)) {
            length = std::size_t(static_cast<const char*>(lf) - start);
            ended = true;
            break;
        }
        if (length > limit || !fill(*opened)) break;
    }
    if (length == 0 && !ended) {
        buffer[0] = '\0';
        return opened->failed ? -1 : -2;
    }
    // A longer line keeps its first part; the rest is skipped.
    std::size_t count = std::min(length, limit);
    std::memcpy(buffer.data(), opened->block.get() + opened->begin, count);
    opened->take(length + (ended ? 1 : 0));
    if (length > limit && !ended) ended = skipRestOfLine(*opened);
    opened->atLineStart = ended;
    if (length <= limit && count > 0 && buffer[count - 1] == '\r') --count;
    buffer[count] = '\0';
    return int(count);
}

std::int64_t ReadFile(int handle, std::span<std::byte> buffer)
{
    OpenedFile* opened = openedFile(handle);
    if (!opened) return -1;
    char* into = reinterpret_cast<char*>(buffer.data());
    const std::size_t held = std::min(opened->end - opened->begin, buffer.size());
    std::memcpy(into, opened->block.get() + opened->begin, held);
    opened->begin += held;
    if (held == buffer.size() || opened->atEnd) return std::int64_t(held);
    const std::int64_t read = ReadAt(opened->path, opened->position(), {into + held, buffer.size() - held});
    if (read < 0) return -1;
    opened->blockAt += std::int64_t(opened->begin) + read;
    opened->begin = opened->end = 0;
    return std::int64_t(held) + read;
}

int GetFileInfo(std::string_view path, std::int64_t& size)
{
    std::error_code error;
    auto p = toPath(path);
    auto status = std::filesystem::status(p, error);
    if (error && status.type() != std::filesystem::file_type::not_found) return -1;
    if (!std::filesystem::is_regular_file(status)) {
        size = 0;
        return 0;
    }
    auto bytes = std::filesystem::file_size(p, error);
    if (error) return -1;
    size = std::int64_t(bytes);
    return 1;
}

PathKind KindOfPath(std::string_view path)
{
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::path p = toPath(path);
    const fs::file_status status = fs::status(p, error);
    switch (status.type()) {
    case fs::file_type::regular: return PathKind::File;
    case fs::file_type::directory: return PathKind::Folder;
    case fs::file_type::fifo: return PathKind::Pipe;
    case fs::file_type::character:
    case fs::file_type::block: return PathKind::Device;
    case fs::file_type::not_found:
        return fs::is_symlink(fs::symlink_status(p, error)) ? PathKind::BrokenLink : PathKind::Missing;
    case fs::file_type::none:
    case fs::file_type::unknown: return PathKind::Unknown;
    default: return PathKind::Other;
    }
}

namespace {

// A path watched without being opened, and how the file there looked last.
struct Watch {
    std::filesystem::path path;
    FileLook look;
    bool there = false;
};

std::map<int, Watch>& watches()
{
    static std::map<int, Watch> all;
    return all;
}

int nextWatch = 1;

}  // namespace

int WatchFile(std::string_view path)
{
    Watch watch{toPath(path)};
    watch.there = LookAt(watch.path, watch.look);
    int handle = nextWatch++;
    watches().emplace(handle, std::move(watch));
    return handle;
}

bool FileChangedSinceLook(int handle)
{
    auto it = watches().find(handle);
    if (it == watches().end()) return false;
    Watch& watch = it->second;
    FileLook look;
    const bool there = LookAt(watch.path, look);
    const bool changed = there != watch.there || (there && !(look == watch.look));
    watch.there = there;
    watch.look = look;
    return changed;
}

bool FileThere(int handle)
{
    auto it = watches().find(handle);
    return it != watches().end() && it->second.there;
}

void EndWatch(int handle) { watches().erase(handle); }
