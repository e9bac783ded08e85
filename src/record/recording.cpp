#include "recording.h"

#include <algorithm>
#include <string>

#include "../stream/streams.h"
#include "timedlog.h"

Recording::Recording(const DeviceFormat& format, int fieldCount, ByteSink& out, std::int64_t limit, bool fromFile)
    : format_(format), out_(out), limit_(limit), rate_(format.value == 2)
{
    auto keep = [this](Bytes message, std::int64_t at) { keepMessage(message, at); };
    if (format.kind == FileKind::Text)
        text_.emplace(fieldCount, [this](std::string_view record, std::int64_t at) { keepRecord(record, at); },
                      fromFile);
    else if (format.value == 1) j1587_.emplace(keep);
    else slcan_.emplace(keep);
}

namespace {

// Enough of the first bytes to tell a device by (a dozen text records, a
// second and more of an engine stream).
constexpr std::size_t kFirstBytesKept = 4096;
// Bytes without a single whole record or message, enough to judge by, and
// to stop at: a text record is some hundred bytes, an engine message at most
// 31 (a time-stamped SLCAN frame).
constexpr std::int64_t kEnoughToJudgeText = 1024, kEnoughToJudgeEngine = 256;
constexpr std::int64_t kEnoughToStop = 8192;
// Records enough to stop at when none is the device's.
constexpr std::int64_t kRecordsToStop = 20;
// A framer decides on every byte within this many bytes after it: the SLCAN
// framer at each CR, the J1587 framer within its 84 bytes of lookahead.
constexpr std::int64_t kUndecidedAtMost = 1024;

}  // namespace

void Recording::feed(std::span<const char> bytes, std::int64_t unixUs)
{
    received_ += std::int64_t(bytes.size());
    if (!text_) reads_.push_back({received_, unixUs});
    if (firstBytes_.size() < kFirstBytesKept)
        firstBytes_.append(bytes.data(), std::min(bytes.size(), kFirstBytesKept - firstBytes_.size()));
    const Bytes raw(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
    if (text_) text_->feed(std::string_view(bytes.data(), bytes.size()));
    else if (j1587_) j1587_->feed(raw);
    else slcan_->feed(raw);
    while (reads_.size() > 1 && reads_.front().end <= received_ - kUndecidedAtMost) reads_.pop_front();
}

void Recording::stop()
{
    if (text_) text_->stop();
    else if (j1587_) j1587_->stop();
    else slcan_->stop();
}

void Recording::lineQuiet()
{
    if (text_) text_->lineQuiet();
}

// A record and its line end in one write: whole on disk, or cut off by finish().
void Recording::keepRecord(std::string_view record, std::int64_t at)
{
    if (recordWatch_) recordWatch_(record, at);
    std::string line(record);
    line += '\n';
    if (!out_.write(line)) {
        writeFailed_ = true;
        return stop();
    }
    ++units_;
    textBytes_ = out_.written();
    savedThrough_ = text_->position();
    if (full()) stop();
}

// The program sends a recording in 50-byte chunks and starts over as soon
// as a chunk and one byte more no longer fit. So a file of 50 * k + 1 bytes
// sends its first 50 * k and never the last: when a message ends at 50 * k,
// every pass ends, and the next begins, on a message boundary.
void Recording::keepMessage(Bytes message, std::int64_t at)
{
    if (!out_.write(std::span<const char>(reinterpret_cast<const char*>(message.data()), message.size()))) {
        writeFailed_ = true;
        return stop();
    }
    if (!firstByte_) firstByte_ = char(message[0]);
    savedThrough_ = at + std::int64_t(message.size());
    ++units_;
    messageBytes_ = out_.written();
    logMessage(message, at);
    if (messageBytes_ % kChunkSize == 0) {
        previous_ = last_;
        last_ = {messageBytes_, units_, log_ ? log_->written() : 0};
    }
    if (watch_) watch_(at, std::int64_t(message.size()));
    if (full()) stop();
}

// When the byte before end arrived: when the read that gave it returned.
// Messages end in order, so the reads before it are done with.
std::int64_t Recording::arrival(std::int64_t end)
{
    while (reads_.size() > 1 && reads_.front().end < end) reads_.pop_front();
    return reads_.empty() ? 0 : reads_.front().unixUs;
}

void Recording::logMessage(Bytes message, std::int64_t at)
{
    const std::int64_t unixUs = arrival(at + std::int64_t(message.size()));
    rate_.message(message, unixUs);
    if (log_ && !logFailed_ && !log_->write(LogLineOf(unixUs, message, slcan_.has_value()))) logFailed_ = true;
}

bool Recording::finish()
{
    if (text_) {
        text_->finish();
        // After a failed write: the part of a record it left goes.
        return units_ > 0 && out_.cut(textBytes_);
    }
    if (j1587_) j1587_->finish();
    else slcan_->finish();
    bool kept = last_.bytes >= kChunkSize && keepOneMore(last_.bytes);
    if (!kept) {
        // The byte past the boundary would not fit on a full disk: the
        // boundary before it has its byte.
        last_ = previous_;
        kept = last_.bytes >= kChunkSize && keepOneMore(last_.bytes);
    }
    if (log_ && !logFailed_ && !log_->cut(last_.logBytes)) logFailed_ = true;
    return kept;
}

// Keeps size bytes and the one past them, never sent: the first of the
// message that followed, as the equipment sent it, or else of the first one.
bool Recording::keepOneMore(std::int64_t size)
{
    if (out_.held() > size) return out_.cut(size + 1);
    return out_.cut(size) && out_.write(std::span<const char>(&*firstByte_, 1));
}

std::int64_t Recording::problems() const
{
    if (text_) return text_->counts().foreign.count + text_->counts().overlong.count;
    const FramingCounts& counts = engineCounts();
    return counts.checksumFailures.count + counts.unparsable.count;
}

const FramingCounts& Recording::engineCounts() const { return j1587_ ? j1587_->counts() : slcan_->counts(); }

// Bytes an engine stream's framer has decided on: in messages or not.
std::int64_t Recording::judged() const
{
    const FramingCounts& counts = engineCounts();
    return messageBytes_ + counts.trimmedFront + counts.trimmedBack + counts.unparsable.bytes +
           counts.checksumFailures.bytes;
}

bool Recording::notTheDevices() const
{
    if (text_) {
        const TextCounts& counts = text_->counts();
        if (counts.records == 0) return received_ >= kEnoughToJudgeText;
        return counts.deviceRecords * 2 < counts.records;
    }
    if (units_ == 0) return received_ >= kEnoughToJudgeEngine;
    return messageBytes_ * 2 < judged();
}

bool Recording::nothingOfTheDevice() const
{
    if (text_ && text_->counts().records >= kRecordsToStop) return text_->counts().deviceRecords == 0;
    return units_ == 0 && received_ >= kEnoughToStop;
}

double Recording::passSeconds() const
{
    return text_ ? double(units_) * kRecordSeconds : double(kept() / kChunkSize) * kChunkSeconds;
}
