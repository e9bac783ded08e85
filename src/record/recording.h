// One recording: the bytes that arrive, cut into the format's whole records
// or messages, written out, and sized at the end so that the program replays
// it cleanly. A recording on disk is read the same way for the check.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <span>
#include <string>

#include "../app/formats.h"
#include "bytesink.h"
#include "j1587frame.h"
#include "rates.h"
#include "slcanframe.h"
#include "texttrim.h"

// Each message kept: where it began in the bytes fed, and its size.
using MessageWatch = std::function<void(std::int64_t at, std::int64_t size)>;

// The pace of the replay: a text record a second, an engine stream's 50-byte
// chunk every quarter second (the window's two timers).
inline constexpr double kRecordSeconds = 1.0;
inline constexpr double kChunkSeconds = 0.25;

class Recording {
public:
    // limit: records or messages to keep at most, 0 for no limit. fromFile:
    // the bytes are a recording on disk rather than a stream joined midway.
    Recording(const DeviceFormat& format, int fieldCount, ByteSink& out, std::int64_t limit = 0,
              bool fromFile = false);

    // unixUs: when the read that gave the bytes returned (microseconds since 1970).
    void feed(std::span<const char> bytes, std::int64_t unixUs = 0);
    // No byte has come for half a record period: a text record that
    // begins next is whole, also the first.
    void lineQuiet();
    // The stream has ended. Cuts the output back to whole records or
    // messages, sized for the replay; false when nothing usable is in it.
    bool finish();
    void watchMessages(MessageWatch watch) { watch_ = std::move(watch); }
    void watchRecords(RecordSink watch) { recordWatch_ = std::move(watch); }
    // Engine streams: every message kept also goes to log, a line with the
    // time of the read that completed it, and finish() cuts the log to the
    // messages the output keeps. A failed write of the log is the log's
    // alone: the output records on.
    void keepTimes(ByteSink& log) { log_ = &log; }
    bool logFailed() const { return logFailed_; }
    // What the equipment sent, by the times its messages came.
    const SendingRate& rate() const { return rate_; }

    const DeviceFormat& format() const { return format_; }
    bool isText() const { return text_.has_value(); }
    std::int64_t received() const { return received_; }
    std::int64_t units() const { return units_; }  // records, or messages, written whole
    bool full() const { return limit_ && units_ >= limit_; }
    // A write failed: what it wrote in part, and everything after, is not
    // in the recording.
    bool writeFailed() const { return writeFailed_; }
    // Bytes received from the first one a write failed on to the end.
    std::int64_t notSaved() const { return writeFailed_ ? received_ - savedThrough_ : 0; }
    std::int64_t problems() const;   // foreign records, or failed messages and stretches
    // Bytes of whole records or messages the output holds: for an engine
    // stream, what the replay sends of it, ending on a chunk boundary.
    std::int64_t kept() const { return isText() ? textBytes_ : last_.bytes; }
    // Of the messages found, those past the last chunk boundary, which the
    // replay would never send: left out.
    std::int64_t messagesPastBoundary() const { return units() - last_.messages; }
    std::int64_t bytesPastBoundary() const { return messageBytes_ - last_.bytes; }

    const TextCounts& textCounts() const { return text_->counts(); }
    const FramingCounts& engineCounts() const;

    // Whether what arrived is mostly not the format's: fewer than half the
    // records the device's, fewer than half the bytes in whole messages, or
    // enough bytes and no whole record or message at all.
    bool notTheDevices() const;
    // Whether to stop early: so much has arrived, and none of it the device's.
    bool nothingOfTheDevice() const;
    // The first bytes that arrived, to tell what they are when they are not
    // the device's.
    const std::string& firstBytes() const { return firstBytes_; }
    // How long one pass of the replay of what is kept lasts.
    double passSeconds() const;

private:
    // Where a message ends on a 50-byte boundary: the replay can start over there.
    struct Boundary {
        std::int64_t bytes = 0, messages = 0, logBytes = 0;
    };
    // Where a read ended in the bytes fed, and when it returned.
    struct Read {
        std::int64_t end, unixUs;
    };

    void keepRecord(std::string_view record, std::int64_t at);
    std::int64_t judged() const;
    void keepMessage(Bytes message, std::int64_t at);
    std::int64_t arrival(std::int64_t end);
    void logMessage(Bytes message, std::int64_t at);
    void stop();
    bool keepOneMore(std::int64_t size);

    const DeviceFormat& format_;
    ByteSink& out_;
    std::optional<TextTrimmer> text_;
    std::optional<J1587Framer> j1587_;
    std::optional<SlcanFramer> slcan_;
    MessageWatch watch_;
    RecordSink recordWatch_;
    std::string firstBytes_;
    std::int64_t limit_;
    std::int64_t units_ = 0;
    std::int64_t received_ = 0;
    std::int64_t textBytes_ = 0;
    std::int64_t messageBytes_ = 0;
    Boundary last_, previous_;
    std::optional<char> firstByte_;
    ByteSink* log_ = nullptr;
    bool logFailed_ = false;
    std::deque<Read> reads_;  // the latest, back to the oldest byte a framer has not decided on
    SendingRate rate_;
    bool writeFailed_ = false;
    std::int64_t savedThrough_ = 0;  // bytes received up to the end of the last record or message written
};
