// The file a recording goes to: written under a temporary name beside it and
// renamed into place when complete, so that an interrupted recording never
// leaves a torn file under the name the program reads. The temporary name,
// <name>.<process>-<6 hex>.part, says who writes it: a later run removes the
// file of a writer that no longer runs (one killed, which could not clean up).
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <span>
#include <string>

#include "bytesink.h"

// Paths in the recorder's words are UTF-8, as the command line gives them on
// every system; std::filesystem reads and writes a plain string in the C
// library's code page on Windows, so paths go through char8_t both ways.
std::filesystem::path PathOf(const std::string& utf8);
std::string TextOf(const std::filesystem::path& path);

class OutputFile final : public ByteSink {
public:
    OutputFile() = default;
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;
    ~OutputFile() override = default;

    // Refuses an existing file unless force or it is still the shipped sample
    // (the installer restores that), a folder that is not there, and one
    // where no file can be written. Returns an empty string or what is
    // wrong, with the system's reason.
    std::string open(const std::filesystem::path& folder, const std::string& name, bool force);

    bool write(std::span<const char> bytes) override;
    std::int64_t written() const override { return written_; }
    std::int64_t held() const override;
    bool cut(std::int64_t size) override;

    // Closes the file and puts it in place as it stands; an existing one
    // becomes <name>.bak, or <name>.bak.1, .2, ... when older ones are there,
    // unless it is still the shipped sample, which is replaced.
    // Returns an empty string or what went wrong; the recording then stays
    // under its temporary name, which the text gives.
    std::string commit();
    // Closes and removes the temporary file.
    void discard();

    const std::filesystem::path& target() const { return target_; }
    const std::filesystem::path& temporary() const { return temporary_; }
    // Where the file this one replaced went; empty when it replaced none.
    const std::filesystem::path& backup() const { return backup_; }
    // Whether it replaced the shipped sample of its name.
    bool replacedSample() const { return replacedSample_; }
    // The system's reason for the first write that failed ("No space left on
    // device"); empty while every write has succeeded.
    const std::string& writeError() const { return writeError_; }

private:
    bool openTemporary(std::ios::openmode mode);
    std::string keepOld(const std::string& kept);

    std::ofstream file_;
    std::filesystem::path target_, temporary_;
    std::int64_t written_ = 0;
    bool force_ = false;
    std::filesystem::path backup_;
    bool replacedSample_ = false;
    std::string writeError_;
};

// Removes the temporary files that runs which were killed left for target:
// <name>.<process>-<hex>.part beside it, whose process no longer runs. Says
// so in a line for the user for each ("quorvex-record: removed ...").
std::string RemoveLeftovers(const std::filesystem::path& target);
