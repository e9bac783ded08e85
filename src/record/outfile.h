// The file a recording goes to: written under a temporary name beside it and
// renamed into place when complete, so that an interrupted recording never
// leaves a torn file under the name the program reads.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <span>
#include <string>

class OutputFile {
public:
    OutputFile() = default;
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;
    ~OutputFile() = default;

    // Refuses an existing file unless force, a folder that is not there, and
    // one where no file can be written. Returns an empty string or what is wrong.
    std::string open(const std::filesystem::path& folder, const std::string& name, bool force);

    bool write(std::span<const char> bytes);
    bool flush();
    std::int64_t written() const { return written_; }

    // Keeps the first size bytes written, then one more byte: the byte that
    // stood at size when there is one, else `otherwise`.
    bool keep(std::int64_t size, char otherwise);

    // Closes the file and puts it in place; an existing one becomes
    // <name>.bak. Returns an empty string or what went wrong; the recording
    // then stays under its temporary name, which the text gives.
    std::string commit();
    // Closes and removes the temporary file.
    void discard();

    const std::filesystem::path& target() const { return target_; }
    const std::filesystem::path& temporary() const { return temporary_; }
    bool replaced() const { return replaced_; }
    std::string failure() const { return failure_; }

private:
    bool fail(const std::string& what);

    std::ofstream file_;
    std::filesystem::path target_, temporary_;
    std::int64_t written_ = 0;
    bool force_ = false;
    bool replaced_ = false;
    std::string failure_;
};
