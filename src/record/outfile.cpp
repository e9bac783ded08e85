#include "outfile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>
#include <system_error>

namespace fs = std::filesystem;

namespace {

std::string shown(const fs::path& path) { return TextOf(path); }

constexpr int kMostBackups = 99;

// A name no other recording in the same folder uses at the same time.
fs::path temporaryBeside(const fs::path& target)
{
    std::random_device random;
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, ".%06x.part", unsigned(random()) & 0xFFFFFFu);
    return fs::path(target).concat(suffix);
}

// The system's words for the last failure of a file operation.
std::string reason() { return errno ? std::strerror(errno) : "failed"; }

}  // namespace

fs::path PathOf(const std::string& utf8) { return fs::path(std::u8string(utf8.begin(), utf8.end())); }

std::string TextOf(const fs::path& path)
{
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

std::string OutputFile::open(const fs::path& folder, const std::string& name, bool force)
{
    std::error_code error;
    if (!fs::is_directory(folder, error))
        return error ? "cannot write in " + shown(folder) + ": " + error.message() : shown(folder) + " is not a folder";
    target_ = folder / name;
    force_ = force;
    if (fs::exists(fs::symlink_status(target_, error)) && !force)
        return shown(target_) + " exists; --force replaces it and keeps it as " + name + ".bak";
    for (int attempt = 0; attempt < 10; ++attempt) {
        temporary_ = temporaryBeside(target_);
        if (fs::exists(fs::symlink_status(temporary_, error))) continue;
        errno = 0;
        if (!openTemporary(std::ios::trunc)) return "cannot write in " + shown(folder) + ": " + reason();
        return {};
    }
    return "cannot find a free temporary name in " + shown(folder);
}

// Unbuffered: every write reaches the system at once, so that after a failed
// one the file holds the writes that succeeded and at most a part of it, and
// no buffered bytes are written behind the recording's back later.
bool OutputFile::openTemporary(std::ios::openmode mode)
{
    file_.rdbuf()->pubsetbuf(nullptr, 0);
    file_.open(temporary_, std::ios::binary | std::ios::out | mode);
    return bool(file_);
}

bool OutputFile::write(std::span<const char> bytes)
{
    if (!file_.is_open()) return false;
    errno = 0;
    if (!file_.write(bytes.data(), std::streamsize(bytes.size()))) {
        if (writeError_.empty()) writeError_ = reason();
        file_.clear();
        return false;
    }
    written_ += std::int64_t(bytes.size());
    return true;
}

std::int64_t OutputFile::held() const
{
    std::error_code error;
    const std::uintmax_t size = fs::file_size(temporary_, error);
    return error ? written_ : std::int64_t(size);
}

bool OutputFile::cut(std::int64_t size)
{
    if (size == written_ && size == held()) return true;
    file_.close();
    std::error_code error;
    fs::resize_file(temporary_, std::uintmax_t(size), error);
    if (error || !openTemporary(std::ios::app)) return false;
    written_ = size;
    return true;
}

std::string OutputFile::commit()
{
    const std::string kept = " (the recording is in " + shown(temporary_) + ")";
    if (file_.is_open()) {
        errno = 0;
        file_.close();
        if (!file_) return "cannot write " + shown(temporary_) + ": " + reason() + kept;
    }
    std::error_code error;
    if (fs::exists(fs::symlink_status(target_, error))) {
        // A file under the name arrived while recording: not ours to replace.
        if (!force_) return shown(target_) + " appeared while recording" + kept;
        // An older backup may be the true original: it stays, and this one
        // takes the next free number.
        fs::path backup = fs::path(target_).concat(".bak");
        for (int number = 1; fs::exists(fs::symlink_status(backup, error)); ++number) {
            if (number > kMostBackups)
                return "cannot keep the old file: " + shown(target_) + ".bak to .bak." + std::to_string(kMostBackups) +
                       " all exist" + kept;
            backup = fs::path(target_).concat(".bak." + std::to_string(number));
        }
        fs::rename(target_, backup, error);
        if (error) return "cannot keep the old file as " + shown(backup) + ": " + error.message() + kept;
        backup_ = backup;
    }
    fs::rename(temporary_, target_, error);
    if (error) return "cannot rename the recording to " + shown(target_) + ": " + error.message() + kept;
    return {};
}

void OutputFile::discard()
{
    if (file_.is_open()) file_.close();
    std::error_code error;
    if (!temporary_.empty()) fs::remove(temporary_, error);
}
