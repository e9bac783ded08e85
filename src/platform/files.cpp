// Data files: opened read-only, read by line or in one block, and watched for
// the changes users make to a recording while it streams.
#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <system_error>

#include "fileopen.h"
#include "quitsignals.h"
#include "runtime.h"

namespace {

// How many of the last bytes read are kept to tell an append from a rewrite.
constexpr std::size_t kWitnessBytes = 64;

// An open file and how the file at its path looked when it was opened.
struct OpenedFile {
    std::FILE* file = nullptr;
    std::filesystem::path path;
    FileLook look;
    // Whether the last line read ended with its LF: only then does a line
    // appended to the file start where reading stands.
    bool atLineStart = true;
    // The last bytes read, up to the read position, in a ring.
    std::array<char, kWitnessBytes> recent{};
    std::uint64_t recentCount = 0;

    void remember(const char* bytes, std::size_t count)
    {
        for (std::size_t i = count > kWitnessBytes ? count - kWitnessBytes : 0; i < count; ++i)
            recent[recentCount++ % kWitnessBytes] = bytes[i];
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

// Skips the rest of an over-long line, up to and including its LF, in large
// blocks: one character at a time, a 100 MB line held the event loop for
// seconds. A termination request stops the skip, so that even a file of
// gigabytes without a line end cannot keep the program from ending. Returns
// whether the line ended with an LF.
bool skipRestOfLine(OpenedFile& opened)
{
    static std::array<char, 64 * 1024> block;
    while (!TerminationPending()) {
        std::size_t read = std::fread(block.data(), 1, block.size(), opened.file);
        if (read == 0) return false;
        const void* lf = std::memchr(block.data(), '\n', read);
        const std::size_t used = lf ? std::size_t(static_cast<const char*>(lf) - block.data()) + 1 : read;
        opened.remember(block.data(), used);
        if (lf) {
            // Give back what follows the LF: it is the next line.
            std::fseek(opened.file, -long(read - used), SEEK_CUR);
            return true;
        }
    }
    return false;
}

// Spreadsheets start the text files they save with one.
void skipByteOrderMark(OpenedFile& opened)
{
    char head[3];
    if (std::fread(head, 1, sizeof head, opened.file) == sizeof head && std::memcmp(head, "\xEF\xBB\xBF", 3) == 0) {
        opened.remember(head, sizeof head);
        return;
    }
    std::rewind(opened.file);
}

// Whether the last bytes read are still in the file where they were read:
// an append leaves them, a rewrite in place (cp onto the file, even of a
// longer one) does not. Reads them again from the file as it is now, and
// leaves reading there, past whatever the C library had read ahead before
// the change.
bool readsAsBefore(OpenedFile& opened)
{
    const std::int64_t position = TellBytes(opened.file);
    if (position < 0) return false;
    const std::size_t count =
        std::size_t(std::min<std::uint64_t>({opened.recentCount, kWitnessBytes, std::uint64_t(position)}));
    // Drops the read-ahead: the C library on Linux at the flush of a stream
    // being read, the one on Windows at the seek.
    std::fflush(opened.file);
    std::array<char, kWitnessBytes> now;
    if (!SeekBytes(opened.file, position - std::int64_t(count)) || std::fread(now.data(), 1, count, opened.file) != count)
        return false;
    for (std::size_t i = 0; i < count; ++i)
        if (now[i] != opened.recent[(opened.recentCount - count + i) % kWitnessBytes]) return false;
    return true;
}

}  // namespace

int OpenFile(std::string_view path, FileAccess /*access*/, FileType type)
{
    // Line ends are taken apart by ReadLine, so text files open as bytes too.
    // Only a regular file is data. A directory has no lines; the open of a
    // pipe waits for a writer, and a device such as /dev/zero never ends a
    // line: either would hold the event loop for good.
    OpenedFile opened{nullptr, toPath(path)};
    if (!LookAt(opened.path, opened.look)) return -1;
    opened.file = OpenBytes(opened.path);
    if (!opened.file) return -1;
    LookAt(opened.file, opened.look);
    if (type == FileType::Text) skipByteOrderMark(opened);
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

int CloseFile(int handle)
{
    OpenedFile* opened = openedFile(handle);
    if (!opened) return -1;
    std::FILE* file = opened->file;
    openFiles().erase(handle);
    return std::fclose(file) == 0 ? 0 : -1;
}

int ReadLine(int handle, std::span<char> buffer, int maxChars)
{
    OpenedFile* opened = openedFile(handle);
    if (!opened || buffer.empty()) return -1;
    std::FILE* file = opened->file;
    // The end once met stays the end, on every system (glibc keeps it, the
    // Windows C library would read on): a line that went out without its LF
    // is not continued by what is appended to it.
    if (std::feof(file)) {
        buffer[0] = '\0';
        return -2;
    }
    const int limit = std::min<int>(maxChars, int(buffer.size()) - 1);
    int count = 0;
    bool sawAny = false;
    bool skipped = false;
    bool ended = false;
    int c;
    while ((c = std::getc(file)) != EOF) {
        sawAny = true;
        if (c == '\n') {
            ended = true;
            break;
        }
        // A longer line keeps its first part; the rest is skipped.
        if (count < limit) {
            buffer[count++] = char(c);
            continue;
        }
        const char first = char(c);  // the first character skipped
        opened->remember(buffer.data(), std::size_t(count));
        opened->remember(&first, 1);
        skipped = true;
        ended = skipRestOfLine(*opened);
        break;
    }
    if (!sawAny) {
        buffer[0] = '\0';
        return std::ferror(file) ? -1 : -2;
    }
    if (!skipped) {
        opened->remember(buffer.data(), std::size_t(count));
        if (ended) opened->remember("\n", 1);
    }
    opened->atLineStart = ended;
    if (!skipped && count > 0 && buffer[count - 1] == '\r') --count;
    buffer[count] = '\0';
    return count;
}

std::int64_t ReadFile(int handle, std::span<std::byte> buffer)
{
    OpenedFile* opened = openedFile(handle);
    if (!opened) return -1;
    std::size_t read = std::fread(buffer.data(), 1, buffer.size(), opened->file);
    if (read < buffer.size() && std::ferror(opened->file)) return -1;
    return std::int64_t(read);
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
