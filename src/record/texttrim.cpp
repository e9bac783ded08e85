#include "texttrim.h"

#include <algorithm>

#include "../stream/streams.h"

namespace {

// A record longer than this is kept only this far: no device sends such a
// line, and a line that never ends (a wrong baud rate) must not grow without
// bound. The program sends at most kMaxLineChars of any line.
constexpr std::size_t kLongestKept = 1 << 16;

}  // namespace

void TextTrimmer::feed(std::string_view bytes)
{
    for (char byte : bytes) {
        if (stopped_) return;
        if (byte == '\n' && afterCr_) {
            afterCr_ = false;
            continue;
        }
        afterCr_ = byte == '\r';
        if (byte == '\r' || byte == '\n') {
            endLine();
        } else if (line_.size() < kLongestKept) {
            line_.push_back(byte);
        } else {
            cut_ = true;
        }
    }
}

void TextTrimmer::endLine()
{
    if (!seenLineEnd_) {
        // Recording began somewhere inside this record.
        seenLineEnd_ = true;
        counts_.trimmedFront = std::int64_t(line_.size());
    } else if (line_.empty()) {
        ++counts_.emptyLines;
    } else {
        ++counts_.records;
        const auto fields = std::count(line_.begin(), line_.end(), ',') + 1;
        if (fields != fieldCount_ || cut_) counts_.foreign.add(counts_.records, std::int64_t(line_.size()));
        if (line_.size() > std::size_t(kMaxLineChars)) counts_.overlong.add(counts_.records, std::int64_t(line_.size()));
        sink_(line_);
    }
    line_.clear();
    cut_ = false;
}

void TextTrimmer::finish()
{
    if (stopped_) return;
    // A record without its line end may be whole or not: it is left out.
    if (!seenLineEnd_) counts_.trimmedFront = std::int64_t(line_.size());
    else counts_.trimmedBack = std::int64_t(line_.size());
    line_.clear();
}
