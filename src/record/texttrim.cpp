#include "texttrim.h"

#include <algorithm>

#include "../stream/streams.h"

namespace {

// A record longer than this is kept only this far: no device sends such a
// line, and a line that never ends (a wrong baud rate) must not grow without
// bound. The program sends at most kMaxLineChars of any line.
constexpr std::size_t kLongestKept = 1 << 16;

bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool isText(char c) { return c == '\t' || (c >= ' ' && c <= '~'); }

bool beginsLikeNumber(std::string_view field)
{
    while (!field.empty() && (field.front() == ' ' || field.front() == '"')) field.remove_prefix(1);
    if (!field.empty() && (field.front() == '-' || field.front() == '+')) field.remove_prefix(1);
    if (!field.empty() && field.front() == '.') field.remove_prefix(1);
    return !field.empty() && isDigit(field.front());
}

// Whether a file's first line is a header of field names rather than a
// record: words, that is text with letters (UTF-8 allowed, for a name like
// "Temp (°F)") and no control bytes, where no field, split at commas,
// semicolons or tabs, begins like a number (a digit, or a sign or point
// before one), as every record begins with its timestamp.
bool isHeaderLine(std::string_view line)
{
    if (std::none_of(line.begin(), line.end(), isLetter)) return false;
    if (!std::all_of(line.begin(), line.end(), [](char c) { return isText(c) || (unsigned char)c >= 0x80; }))
        return false;
    for (std::size_t start = 0; start <= line.size();) {
        const std::size_t end = std::min(line.find_first_of(",;\t", start), line.size());
        if (beginsLikeNumber(line.substr(start, end - start))) return false;
        start = end + 1;
    }
    return true;
}

}  // namespace

void TextTrimmer::feed(std::string_view bytes)
{
    for (char byte : bytes) {
        if (stopped_) return;
        ++position_;
        if (afterCr_) {
            afterCr_ = false;
            if (byte == '\n') {
                ++counts_.crLf;
                continue;
            }
            counts_.crAlone.add(lineNumber_ - 1, 1);
        }
        if (byte == '\r' || byte == '\n') {
            lineEnd(byte);
        } else if (line_.size() < kLongestKept) {
            line_.push_back(byte);
        } else {
            cut_ = true;
        }
    }
}

void TextTrimmer::lineEnd(char byte)
{
    afterCr_ = byte == '\r';
    if (byte == '\n') ++counts_.lf;
    endLine();
}

void TextTrimmer::endLine()
{
    const std::int64_t at = fromFile_ ? lineNumber_ : counts_.records + 1;
    if (!seenLineEnd_) {
        // Recording began somewhere inside this record.
        seenLineEnd_ = true;
        counts_.trimmedFront = std::int64_t(line_.size());
    } else if (line_.empty()) {
        counts_.emptyLines.add(at, 0);
    } else if (fromFile_ && lineNumber_ == 1 && isHeaderLine(line_)) {
        counts_.header = true;
    } else {
        ++counts_.records;
        const auto fields = std::count(line_.begin(), line_.end(), ',') + 1;
        const bool foreign = fields != fieldCount_ || cut_;
        const bool overlong = line_.size() > std::size_t(kMaxLineChars);
        const bool notAscii = !std::all_of(line_.begin(), line_.end(), isText);
        if (foreign) {
            if (counts_.foreignFields.size() < ProblemTally::kExamples) counts_.foreignFields.push_back(fields);
            counts_.foreign.add(at, std::int64_t(line_.size()));
        }
        if (overlong) counts_.overlong.add(at, std::int64_t(line_.size()));
        if (notAscii) counts_.notAscii.add(at, 1);
        if (!foreign && !overlong && !notAscii) ++counts_.deviceRecords;
        sink_(line_, at);
    }
    ++lineNumber_;
    line_.clear();
    cut_ = false;
}

void TextTrimmer::lineQuiet()
{
    if (seenLineEnd_ || stopped_) return;
    // What came before the quiet is a record joined midway; what follows it
    // begins a record.
    seenLineEnd_ = true;
    counts_.trimmedFront = std::int64_t(line_.size());
    line_.clear();
    cut_ = false;
    afterCr_ = false;
}

void TextTrimmer::finish()
{
    if (stopped_) return;
    if (afterCr_) counts_.crAlone.add(lineNumber_ - 1, 1);
    afterCr_ = false;
    if (fromFile_) {
        // A file's last line is whole, line end or not.
        if (!line_.empty()) {
            counts_.unterminated = lineNumber_;
            endLine();
        }
        return;
    }
    // A record without its line end may be whole or not: it is left out.
    if (!seenLineEnd_) counts_.trimmedFront = std::int64_t(line_.size());
    else counts_.trimmedBack = std::int64_t(line_.size());
    line_.clear();
}
