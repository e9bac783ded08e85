// One recording: the bytes that arrive, cut into the format's whole records
// or messages, written to the output file, and sized at the end so that the
// program replays it cleanly.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "../app/formats.h"
#include "j1587frame.h"
#include "outfile.h"
#include "slcanframe.h"
#include "texttrim.h"

class Recording {
public:
    // limit: records or messages to keep at most, 0 for no limit.
    Recording(const DeviceFormat& format, int fieldCount, OutputFile& out, std::int64_t limit = 0);

    void feed(std::span<const char> bytes);
    // The stream has ended. Trims the file to whole records or messages;
    // false when nothing usable is in it.
    bool finish();

    bool isText() const { return text_.has_value(); }
    std::int64_t received() const { return received_; }
    std::int64_t units() const { return units_; }  // records, or messages
    bool full() const { return limit_ && units_ >= limit_; }
    std::int64_t problems() const;   // foreign records, or failed messages and stretches
    // Bytes of whole records or messages the file holds: for an engine
    // stream, what the replay sends of it, ending on a chunk boundary.
    std::int64_t kept() const { return kept_; }
    // Of the messages found, those past the last chunk boundary, which the
    // replay would never send: left out.
    std::int64_t messagesPastBoundary() const { return units() - messagesKept_; }
    std::int64_t bytesPastBoundary() const { return messageBytes_ - kept_; }

    const TextCounts& textCounts() const { return text_->counts(); }
    const FramingCounts& engineCounts() const;

private:
    void keepRecord(std::string_view record);
    void keepMessage(Bytes message);

    OutputFile& out_;
    std::optional<TextTrimmer> text_;
    std::optional<J1587Framer> j1587_;
    std::optional<SlcanFramer> slcan_;
    std::int64_t limit_;
    std::int64_t units_ = 0;
    std::int64_t received_ = 0;
    std::int64_t kept_ = 0;
    std::int64_t messagesKept_ = 0, messageBytes_ = 0;
    std::optional<char> firstByte_;
};
