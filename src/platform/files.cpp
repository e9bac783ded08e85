// Data files: opened read-only, read by line or in one block.
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <system_error>

#include "runtime.h"

namespace {

std::map<int, std::FILE*>& openFiles()
{
    static std::map<int, std::FILE*> files;
    return files;
}

int nextHandle = 1;

std::FILE* fileOf(int handle)
{
    auto it = openFiles().find(handle);
    return it == openFiles().end() ? nullptr : it->second;
}

std::filesystem::path toPath(std::string_view path)
{
    return std::filesystem::path(std::u8string(path.begin(), path.end()));
}

}  // namespace

int OpenFile(std::string_view path, FileAccess /*access*/, FileType /*type*/)
{
    // Line ends are taken apart by ReadLine, so text files open as bytes too.
    std::error_code error;
    if (std::filesystem::is_directory(toPath(path), error)) return -1;
    std::FILE* file = std::fopen(std::string(path).c_str(), "rb");
    if (!file) return -1;
    int handle = nextHandle++;
    openFiles().emplace(handle, file);
    return handle;
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
        if (count < limit) buffer[count++] = char(c);
        else skipped = true;
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
