#include "outfile.h"

#include <charconv>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>
#include <string_view>
#include <system_error>

#include "../platform/runtime.h"
#include "shipped.h"

namespace fs = std::filesystem;

namespace {

std::string shown(const fs::path& path) { return TextOf(path); }

constexpr int kMostBackups = 99;

// A name no other recording in the same folder uses at the same time, and
// that names this process.
fs::path temporaryBeside(const fs::path& target)
{
    std::random_device random;
    char suffix[48];
    std::snprintf(suffix, sizeof suffix, ".%lld-%06x.part", ProcessNumber(), unsigned(random()) & 0xFFFFFFu);
    return fs::path(target).concat(suffix);
}

bool hexDigits(std::string_view text)
{
    return text.size() == 6 && text.find_first_not_of("0123456789abcdef") == std::string_view::npos;
}

// Whether a file beside name is a temporary file of a run that no longer runs:
// <name>.<process>-<hex>.part, or <name>.<hex>.part as runs before process
// numbers were in the name wrote it.
bool leftoverOf(const std::string& file, const std::string& name)
{
    const std::string_view end = ".part";
    if (file.size() <= name.size() + 1 + end.size() || file.compare(0, name.size() + 1, name + ".") != 0 ||
        !std::string_view(file).ends_with(end))
        return false;
    const std::string_view middle = std::string_view(file).substr(name.size() + 1, file.size() - name.size() - 1 - end.size());
    const std::size_t dash = middle.find('-');
    if (dash == std::string_view::npos) return hexDigits(middle);
    const std::string_view process = middle.substr(0, dash);
    long long number = 0;
    const auto [stop, failed] = std::from_chars(process.data(), process.data() + process.size(), number);
    return failed == std::errc() && stop == process.data() + process.size() && hexDigits(middle.substr(dash + 1)) &&
           number != ProcessNumber() && !ProcessRunning(number);
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
    if (fs::exists(fs::symlink_status(target_, error)) && !force && !IsShippedSample(target_))
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
        replacedSample_ = IsShippedSample(target_);
        // The sample is the installer's to restore: it goes without a backup.
        if (!replacedSample_)
            if (std::string failed = keepOld(kept); !failed.empty()) return failed;
    }
    fs::rename(temporary_, target_, error);
    if (error) return "cannot rename the recording to " + shown(target_) + ": " + error.message() + kept;
    return {};
}

// Moves the file under the name aside before the recording takes it.
std::string OutputFile::keepOld(const std::string& kept)
{
    std::error_code error;
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
    return {};
}

void OutputFile::discard()
{
    if (file_.is_open()) file_.close();
    std::error_code error;
    if (!temporary_.empty()) fs::remove(temporary_, error);
}

std::string RemoveLeftovers(const fs::path& target)
{
    std::error_code error;
    std::string said;
    const std::string name = TextOf(target.filename());
    const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
    for (const fs::directory_entry& entry : fs::directory_iterator(folder, error)) {
        if (!leftoverOf(TextOf(entry.path().filename()), name) || !entry.is_regular_file(error)) continue;
        // One still open is not removed on Windows: it is someone's.
        if (fs::remove(entry.path(), error))
            said += "quorvex-record: removed " + shown(entry.path()) + ", left by a run that was killed (the file "
                    "it was to replace was never touched)\n";
    }
    return said;
}
