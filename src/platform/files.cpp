// Data files: opened read-only, read by line or in one block.
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

// An open file and how the file at its path looked when it was opened.
struct OpenedFile {
    std::FILE* file = nullptr;
    std::filesystem::path path;
    std::uintmax_t size = 0;
    std::filesystem::file_time_type written;
};

std::map<int, OpenedFile>& openFiles()
{
    static std::map<int, OpenedFile> files;
    return files;
}

int nextHandle = 1;

std::FILE* fileOf(int handle)
{
    auto it = openFiles().find(handle);
    return it == openFiles().end() ? nullptr : it->second.file;
}

std::filesystem::path toPath(std::string_view path)
{
    return std::filesystem::path(std::u8string(path.begin(), path.end()));
}

// Size and modification time of the file at path; false when it is none.
bool lookAt(const std::filesystem::path& path, std::uintmax_t& size, std::filesystem::file_time_type& written)
{
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) return false;
    size = std::filesystem::file_size(path, error);
    if (error) return false;
    written = std::filesystem::last_write_time(path, error);
    return !error;
}

// Skips the rest of an over-long line, up to and including its LF, in large
// blocks: one character at a time, a 100 MB line held the event loop for
// seconds. A termination request stops the skip, so that even a file of
// gigabytes without a line end cannot keep the program from ending.
void skipRestOfLine(std::FILE* file)
{
    static std::array<char, 64 * 1024> block;
    while (!TerminationPending()) {
        std::size_t read = std::fread(block.data(), 1, block.size(), file);
        if (read == 0) return;
        if (const void* lf = std::memchr(block.data(), '\n', read)) {
            // Give back what follows the LF: it is the next line.
            long after = long(read) - long(static_cast<const char*>(lf) - block.data()) - 1;
            std::fseek(file, -after, SEEK_CUR);
            return;
        }
    }
}

}  // namespace

int OpenFile(std::string_view path, FileAccess /*access*/, FileType /*type*/)
{
    // Line ends are taken apart by ReadLine, so text files open as bytes too.
    // Only a regular file is data. A directory has no lines; the open of a
    // pipe waits for a writer, and a device such as /dev/zero never ends a
    // line: either would hold the event loop for good.
    std::error_code error;
    if (!std::filesystem::is_regular_file(toPath(path), error)) return -1;
    std::FILE* file = OpenBytes(toPath(path));
    if (!file) return -1;
    OpenedFile opened{file, toPath(path)};
    lookAt(opened.path, opened.size, opened.written);
    int handle = nextHandle++;
    openFiles().emplace(handle, std::move(opened));
    return handle;
}

bool FileChangedSinceOpen(int handle)
{
    auto it = openFiles().find(handle);
    if (it == openFiles().end()) return false;
    std::uintmax_t size = 0;
    std::filesystem::file_time_type written;
    if (!lookAt(it->second.path, size, written)) return true;
    return size != it->second.size || written != it->second.written;
}

int CloseFile(int handle)
{
    std::FILE* file = fileOf(handle);
    if (!file) return -1;
    openFiles().erase(handle);
    return std::fclose(file) == 0 ? 0 : -1;
}

int ReadLine(int handle, std::span<char> buffer, int maxChars)
{
    std::FILE* file = fileOf(handle);
    if (!file || buffer.empty()) return -1;
    const int limit = std::min<int>(maxChars, int(buffer.size()) - 1);
    int count = 0;
    bool sawAny = false;
    bool skipped = false;
    int c;
    while ((c = std::getc(file)) != EOF) {
        sawAny = true;
        if (c == '\n') break;
        // A longer line keeps its first part; the rest is skipped.
        if (count < limit) {
            buffer[count++] = char(c);
            continue;
        }
        skipped = true;
        skipRestOfLine(file);
        break;
    }
    if (!sawAny) {
        buffer[0] = '\0';
        return std::ferror(file) ? -1 : -2;
    }
    if (!skipped && count > 0 && buffer[count - 1] == '\r') --count;
    buffer[count] = '\0';
    return count;
}

std::int64_t ReadFile(int handle, std::span<std::byte> buffer)
{
    std::FILE* file = fileOf(handle);
    if (!file) return -1;
    std::size_t read = std::fread(buffer.data(), 1, buffer.size(), file);
    if (read < buffer.size() && std::ferror(file)) return -1;
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
