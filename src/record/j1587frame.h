// SAE J1587 messages found in a raw byte stream: the MID, parameters by the
// length rule, and a checksum that makes the 8-bit sum of the message zero.
// With no inter-byte timing a receiver has only this structure to go by.
#pragma once

#include <cstddef>

#include "framing.h"

class J1587Framer {
public:
    explicit J1587Framer(MessageSink sink) : sink_(std::move(sink)) {}

    void feed(Bytes bytes);
    // The stream has ended: settles what is left.
    void finish();
    // Takes no more: the recording has what it was asked for.
    void stop() { stopped_ = true; }
    const FramingCounts& counts() const { return counts_; }

private:
    bool step(bool final);
    void skipByte();
    void resynchronised();

    MessageSink sink_;
    FramingCounts counts_;
    std::vector<unsigned char> pending_;
    std::size_t head_ = 0;         // first byte of pending_ not yet decided
    std::int64_t consumed_ = 0;    // bytes of the stream before pending_
    bool synced_ = false;
    bool stopped_ = false;
    std::vector<unsigned char> lost_;  // the first bytes skipped since sync was lost
    std::int64_t lostAt_ = 0, lostCount_ = 0;
};

// Ends (exclusive) of the messages that could start at data[start], in
// increasing order; none when data[start] is no J1587 MID or nothing checksums.
std::vector<std::size_t> J1587MessageEnds(Bytes data, std::size_t start);
