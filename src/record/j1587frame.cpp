#include "j1587frame.h"

#include <algorithm>

namespace {

// The longest message the link carries, MID and checksum included.
constexpr std::size_t kLongestMessage = 21;
// Messages are believed once this many follow one another: a stretch of
// other bytes checksums as one message by chance a few times in a hundred,
// as three in a row about once in a hundred thousand.
constexpr int kSyncMessages = 3;
// Enough bytes to decide: a message and the ones that must follow it.
constexpr std::size_t kLookahead = kLongestMessage * (kSyncMessages + 1);
// MIDs below this belong to other protocols sharing the J1708 link.
constexpr unsigned kFirstMid = 128;
constexpr std::size_t kCompactAt = 1 << 16;

// Bytes the parameter at data[pos] takes with its PID, 0 when it is none
// (PID 254, the data link escape) or its length byte is past the data.
std::size_t paramSize(Bytes data, std::size_t pos)
{
    unsigned pid = data[pos];
    std::size_t head = 1;
    if (pid == 255) {
        // Next page: a PID of page 2 follows, sized by the same rule.
        if (pos + 1 >= data.size()) return 0;
        pid = data[pos + 1];
        head = 2;
        if (pid == 255) return 0;
    }
    if (pid < 128) return head + 1;
    if (pid < 192) return head + 2;
    if (pid == 254) return 0;
    if (pos + head >= data.size()) return 0;
    return head + 1 + data[pos + head];
}

// Whether messages follow one another from start for `messages` more; the
// end of a stream that has ended counts as a boundary.
bool chainsFrom(Bytes data, std::size_t start, int messages, bool final)
{
    if (messages == 0) return true;
    if (start == data.size()) return final;
    for (std::size_t end : J1587MessageEnds(data, start))
        if (chainsFrom(data, end, messages - 1, final)) return true;
    return false;
}

// Whether skipped bytes are one message, whole by the length rule, whose
// last byte fails as its checksum.
bool isFailedMessage(Bytes lost, std::int64_t count)
{
    if (count < 3 || std::size_t(count) > kLongestMessage || lost[0] < kFirstMid) return false;
    const Bytes message = lost.first(std::size_t(count));
    std::size_t pos = 1;
    while (pos + 1 < message.size()) {
        const std::size_t size = paramSize(message, pos);
        if (size == 0) return false;
        pos += size;
    }
    return pos + 1 == message.size();
}

}  // namespace

std::vector<std::size_t> J1587MessageEnds(Bytes data, std::size_t start)
{
    std::vector<std::size_t> ends;
    if (start >= data.size() || data[start] < kFirstMid) return ends;
    const std::size_t limit = std::min(data.size(), start + kLongestMessage);
    unsigned total = data[start];
    std::size_t pos = start + 1;
    // After each parameter the next byte may be the checksum or another PID:
    // every reading that checksums is a candidate.
    while (pos < limit) {
        const std::size_t size = paramSize(data, pos);
        if (size == 0 || pos + size >= limit) break;
        for (std::size_t i = pos; i < pos + size; ++i) total += data[i];
        pos += size;
        if (((total + data[pos]) & 0xFF) == 0) ends.push_back(pos + 1);
    }
    return ends;
}

void J1587Framer::feed(Bytes bytes)
{
    pending_.insert(pending_.end(), bytes.begin(), bytes.end());
    while (step(false)) {
    }
    if (head_ >= kCompactAt) {
        pending_.erase(pending_.begin(), pending_.begin() + std::ptrdiff_t(head_));
        consumed_ += std::int64_t(head_);
        head_ = 0;
    }
}

void J1587Framer::finish()
{
    if (stopped_) return;
    while (step(true)) {
    }
    // What is left never became a message: cut off by the end.
    if (counts_.messages == 0) counts_.trimmedFront += lostCount_;
    else counts_.trimmedBack += lostCount_;
    lostCount_ = 0;
}

bool J1587Framer::step(bool final)
{
    const Bytes data(pending_.data() + head_, pending_.size() - head_);
    if (stopped_ || data.empty() || (!final && data.size() < kLookahead)) return false;
    if (!synced_) {
        if (!chainsFrom(data, 0, kSyncMessages, final)) {
            skipByte();
            return true;
        }
        resynchronised();
        synced_ = true;
    }
    const std::vector<std::size_t> ends = J1587MessageEnds(data, 0);
    if (ends.empty()) {
        synced_ = false;
        lostAt_ = consumed_ + std::int64_t(head_);
        return true;
    }
    // Of the readings, the first after which messages go on.
    std::size_t end = ends.front();
    for (std::size_t candidate : ends) {
        if (chainsFrom(data, candidate, kSyncMessages - 1, final)) {
            end = candidate;
            break;
        }
    }
    sink_(data.first(end), consumed_ + std::int64_t(head_));
    ++counts_.messages;
    head_ += end;
    return true;
}

void J1587Framer::skipByte()
{
    if (lostCount_ == 0) lostAt_ = consumed_ + std::int64_t(head_);
    if (lost_.size() <= kLongestMessage) lost_.push_back(pending_[head_]);
    ++lostCount_;
    ++head_;
}

void J1587Framer::resynchronised()
{
    if (lostCount_ > 0) {
        if (counts_.messages == 0) counts_.trimmedFront += lostCount_;
        else if (isFailedMessage(lost_, lostCount_)) counts_.checksumFailures.add(lostAt_, lostCount_);
        else counts_.unparsable.add(lostAt_, lostCount_);
    }
    lostCount_ = 0;
    lost_.clear();
}
