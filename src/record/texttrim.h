// Records of a text device from the raw line: one record a line, as the
// device sent its fields, whatever line end it used (CR LF, CR or LF).
// The same rules read a recording on disk, for the check before a replay.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "framing.h"

// Receives each whole record, without its line end, and where it is (as the
// counts below locate problems).
using RecordSink = std::function<void(std::string_view record, std::int64_t at)>;

// Problems are located by the record's number in the file written or, when
// a file is read, by the line's number in it.
struct TextCounts {
    std::int64_t records = 0;
    std::int64_t trimmedFront = 0;  // the partial record before the first line end
    std::int64_t trimmedBack = 0;   // a record the end cut off before its line end
    // Left out: each would take a tick of its own in the replay, an empty
    // record between two real ones.
    ProblemTally emptyLines;
    // Kept: records whose field count is not the device's, and records
    // longer than the program sends.
    ProblemTally foreign;
    std::vector<std::int64_t> foreignFields;  // the field counts of foreign's first records
    // Records that are the device's: its field count, all text, not too long.
    std::int64_t deviceRecords = 0;
    ProblemTally overlong;
    // Kept: lines with bytes that are neither printable ASCII nor a tab.
    ProblemTally notAscii;
    // Line ends. The program reads up to an LF, so a CR alone ends no line
    // for it: such lines would go out joined.
    std::int64_t lf = 0, crLf = 0;
    ProblemTally crAlone;
    // Only in a file read: a first line of field names (left out), and the
    // number of a last line without a line end (kept as a record), 0 if none.
    bool header = false;
    std::int64_t unterminated = 0;
};

class TextTrimmer {
public:
    // fromFile: the bytes are a file's, which begins and ends on a line
    // boundary, rather than a stream joined midway.
    TextTrimmer(int fieldCount, RecordSink sink, bool fromFile = false)
        : fieldCount_(fieldCount), sink_(std::move(sink)), fromFile_(fromFile), seenLineEnd_(fromFile)
    {
    }

    void feed(std::string_view bytes);
    // The line has been quiet for half a record period or more: a record
    // that begins next is whole. Joined midway until then.
    void lineQuiet();
    void finish();
    // Takes no more: the recording has what it was asked for.
    void stop() { stopped_ = true; }
    const TextCounts& counts() const { return counts_; }

    // Bytes fed so far, the one being read included.
    std::int64_t position() const { return position_; }

private:
    void endLine();
    void lineEnd(char byte);

    int fieldCount_;
    RecordSink sink_;
    TextCounts counts_;
    std::string line_;
    std::int64_t lineNumber_ = 1;
    bool fromFile_;
    bool afterCr_ = false;    // an LF right after a CR ends nothing more
    bool seenLineEnd_;
    bool cut_ = false;        // the line is longer than kept
    bool stopped_ = false;
    std::int64_t position_ = 0;
};
