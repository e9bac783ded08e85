#include "outfile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>
#include <system_error>

namespace fs = std::filesystem;

namespace {

std::string shown(const fs::path& path) { return path.string(); }

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

std::string OutputFile::open(const fs::path& folder, const std::string& name, bool force)
{
    std::error_code error;
    if (!fs::is_directory(folder, error)) return shown(folder) + " is no folder";
    target_ = folder / name;
    force_ = force;
    if (fs::exists(fs::symlink_status(target_, error)) && !force)
        return shown(target_) + " exists; --force replaces it and keeps it as " + name + ".bak";
    for (int attempt = 0; attempt < 10; ++attempt) {
        temporary_ = temporaryBeside(target_);
        if (fs::exists(fs::symlink_status(temporary_, error))) continue;
        errno = 0;
        file_.open(temporary_, std::ios::binary | std::ios::out | std::ios::trunc);
        if (!file_) return "cannot write in " + shown(folder) + ": " + reason();
        return {};
    }
    return "cannot find a free temporary name in " + shown(folder);
}

bool OutputFile::fail(const std::string& what)
{
    if (failure_.empty()) failure_ = what;
    return false;
}

bool OutputFile::write(std::span<const char> bytes)
{
    if (!file_.is_open() || !failure_.empty()) return false;
    errno = 0;
    if (!file_.write(bytes.data(), std::streamsize(bytes.size())))
        return fail("cannot write " + shown(temporary_) + ": " + reason());
    written_ += std::int64_t(bytes.size());
    return true;
}

bool OutputFile::flush()
{
    if (!file_.is_open() || !failure_.empty()) return false;
    errno = 0;
    if (!file_.flush()) return fail("cannot write " + shown(temporary_) + ": " + reason());
    return true;
}

bool OutputFile::keep(std::int64_t size, char otherwise)
{
    if (!flush()) return false;
    file_.close();
    char last = otherwise;
    if (written_ > size) {
        std::ifstream in(temporary_, std::ios::binary);
        if (!in.seekg(std::streamoff(size)) || !in.read(&last, 1)) last = otherwise;
    }
    std::error_code error;
    fs::resize_file(temporary_, std::uintmax_t(size), error);
    if (error) return fail("cannot shorten " + shown(temporary_) + ": " + error.message());
    errno = 0;
    file_.open(temporary_, std::ios::binary | std::ios::out | std::ios::app);
    if (!file_) return fail("cannot write " + shown(temporary_) + ": " + reason());
    written_ = size;
    return write(std::span<const char>(&last, 1));
}

std::string OutputFile::commit()
{
    flush();
    if (file_.is_open()) {
        file_.close();
        if (!file_ && failure_.empty()) fail("cannot write " + shown(temporary_));
    }
    const std::string kept = " (the recording is in " + shown(temporary_) + ")";
    if (!failure_.empty()) return failure_ + kept;
    std::error_code error;
    if (fs::exists(fs::symlink_status(target_, error))) {
        // A file under the name arrived while recording: not ours to replace.
        if (!force_) return shown(target_) + " appeared while recording" + kept;
        const fs::path backup = fs::path(target_).concat(".bak");
        fs::remove(backup, error);
        fs::rename(target_, backup, error);
        if (error) return "cannot keep the old file as " + shown(backup) + ": " + error.message() + kept;
        replaced_ = true;
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
