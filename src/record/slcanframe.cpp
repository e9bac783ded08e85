#include "slcanframe.h"

namespace {

// "T", 8 digits of identifier, the DLC, 8 data bytes, a time stamp.
constexpr std::size_t kLongestFrame = 1 + 8 + 1 + 16 + 4;

bool isHex(std::string_view digits)
{
    for (char c : digits)
        if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'))) return false;
    return true;
}

}  // namespace

bool IsSlcanFrame(std::string_view line)
{
    if (line.empty()) return false;
    const char kind = line[0];
    const bool extended = kind == 'T' || kind == 'R';
    const bool remote = kind == 'R' || kind == 'r';
    if (!extended && kind != 't' && kind != 'r') return false;
    const std::size_t idDigits = extended ? 8 : 3;
    if (line.size() < 2 + idDigits) return false;
    const std::string_view id = line.substr(1, idDigits);
    // 29 bits: the first of 8 digits is at most 1; 11 bits: of 3, at most 7.
    if (!isHex(id) || id[0] > (extended ? '1' : '7')) return false;
    const char dlc = line[1 + idDigits];
    if (dlc < '0' || dlc > '8') return false;
    const std::size_t length = 2 + idDigits + (remote ? 0 : 2 * std::size_t(dlc - '0'));
    if (line.size() != length && line.size() != length + 4) return false;
    return isHex(line.substr(2 + idDigits));
}

void SlcanFramer::feed(Bytes bytes)
{
    for (unsigned char byte : bytes) {
        if (stopped_) return;
        ++offset_;
        if (byte == '\r') {
            endLine();
            continue;
        }
        // A line longer than any frame is no frame: keep no more of it.
        if (line_.size() <= kLongestFrame) line_.push_back(char(byte));
        ++lineBytes_;
    }
}

void SlcanFramer::endLine()
{
    const std::int64_t length = lineBytes_ + 1;
    const std::int64_t at = offset_ - length;
    if (IsSlcanFrame(line_)) {
        if (badBytes_ > 0) counts_.unparsable.add(badAt_, badBytes_);
        badBytes_ = 0;
        line_.push_back('\r');
        sink_(Bytes(reinterpret_cast<const unsigned char*>(line_.data()), line_.size()), at);
        ++counts_.messages;
    } else if (counts_.messages == 0) {
        // Before the first whole frame: the rest of one joined midway.
        counts_.trimmedFront += length;
    } else {
        if (badBytes_ == 0) badAt_ = at;
        badBytes_ += length;
    }
    line_.clear();
    lineBytes_ = 0;
}

void SlcanFramer::finish()
{
    if (stopped_) return;
    // A frame without its CR, and lines that were no frame since the last
    // one, are cut off by the end.
    const std::int64_t tail = badBytes_ + lineBytes_;
    if (counts_.messages == 0) counts_.trimmedFront += tail;
    else counts_.trimmedBack += tail;
    badBytes_ = 0;
    line_.clear();
    lineBytes_ = 0;
}
