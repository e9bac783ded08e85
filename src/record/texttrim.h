// Records of a text device from the raw line: one record a line, as the
// device sent its fields, whatever line end it used (CR LF, CR or LF).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "framing.h"

// Receives each whole record, without its line end.
using RecordSink = std::function<void(std::string_view record)>;

struct TextCounts {
    std::int64_t records = 0;
    std::int64_t trimmedFront = 0;  // the partial record before the first line end
    std::int64_t trimmedBack = 0;   // a record the end cut off before its line end
    // Empty lines are left out: each would take a tick of its own in the
    // replay, an empty record between two real ones.
    std::int64_t emptyLines = 0;
    // Kept, and reported by record number (the line in the file written):
    // records whose field count is not the device's, and records longer than
    // the program sends.
    ProblemTally foreign;
    ProblemTally overlong;
};

class TextTrimmer {
public:
    TextTrimmer(int fieldCount, RecordSink sink) : fieldCount_(fieldCount), sink_(std::move(sink)) {}

    void feed(std::string_view bytes);
    void finish();
    // Takes no more: the recording has what it was asked for.
    void stop() { stopped_ = true; }
    const TextCounts& counts() const { return counts_; }

private:
    void endLine();

    int fieldCount_;
    RecordSink sink_;
    TextCounts counts_;
    std::string line_;
    bool afterCr_ = false;    // an LF right after a CR ends nothing more
    bool seenLineEnd_ = false;
    bool cut_ = false;        // the line is longer than kept
    bool stopped_ = false;
};
