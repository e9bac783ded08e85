#include "recording.h"

#include "../stream/streams.h"

Recording::Recording(const DeviceFormat& format, int fieldCount, OutputFile& out, std::int64_t limit)
    : out_(out), limit_(limit)
{
    auto keep = [this](Bytes message) { keepMessage(message); };
    if (format.kind == FileKind::Text) text_.emplace(fieldCount, [this](std::string_view record) { keepRecord(record); });
    else if (format.value == 1) j1587_.emplace(keep);
    else slcan_.emplace(keep);
}

void Recording::feed(std::span<const char> bytes)
{
    received_ += std::int64_t(bytes.size());
    const Bytes raw(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
    if (text_) text_->feed(std::string_view(bytes.data(), bytes.size()));
    else if (j1587_) j1587_->feed(raw);
    else slcan_->feed(raw);
}

void Recording::keepRecord(std::string_view record)
{
    out_.write(record);
    out_.write(std::span<const char>("\n", 1));
    ++units_;
    kept_ = out_.written();
    if (full()) text_->stop();
}

// The program sends a recording in 50-byte chunks and starts over as soon
// as a chunk and one byte more no longer fit. So a file of 50 * k + 1 bytes
// sends its first 50 * k and never the last: when a message ends at 50 * k,
// every pass ends, and the next begins, on a message boundary.
void Recording::keepMessage(Bytes message)
{
    if (!firstByte_) firstByte_ = char(message[0]);
    out_.write(std::span<const char>(reinterpret_cast<const char*>(message.data()), message.size()));
    ++units_;
    messageBytes_ = out_.written();
    if (messageBytes_ % kChunkSize == 0) {
        kept_ = messageBytes_;
        messagesKept_ = units_;
    }
    if (!full()) return;
    if (j1587_) j1587_->stop();
    else slcan_->stop();
}

bool Recording::finish()
{
    if (text_) {
        text_->finish();
        return units_ > 0 && out_.flush();
    }
    if (j1587_) j1587_->finish();
    else slcan_->finish();
    if (kept_ < kChunkSize) return false;
    // The byte past the last chunk, never sent: the first of the message
    // that followed, as the equipment sent it, or else of the first one.
    return out_.keep(kept_, *firstByte_);
}

std::int64_t Recording::problems() const
{
    if (text_) return text_->counts().foreign.count + text_->counts().overlong.count;
    const FramingCounts& counts = engineCounts();
    return counts.checksumFailures.count + counts.unparsable.count;
}

const FramingCounts& Recording::engineCounts() const { return j1587_ ? j1587_->counts() : slcan_->counts(); }
