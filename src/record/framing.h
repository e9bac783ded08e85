// What the framers of the engine streams share: what they found, and where
// whole messages go.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

using Bytes = std::span<const unsigned char>;
// Receives each whole message, in order, the moment it is certain, with the
// offset of its first byte in the stream.
using MessageSink = std::function<void(Bytes message, std::int64_t at)>;

// One kind of problem: how often, how many bytes, and where the first few
// were (offsets in what arrived). Bounded however noisy the line.
struct ProblemTally {
    static constexpr std::size_t kExamples = 5;
    std::int64_t count = 0;
    std::int64_t bytes = 0;
    std::vector<std::int64_t> firstOffsets;

    void add(std::int64_t offset, std::int64_t length)
    {
        ++count;
        bytes += length;
        if (firstOffsets.size() < kExamples) firstOffsets.push_back(offset);
    }
};

struct FramingCounts {
    std::int64_t messages = 0;
    // Bytes before the first whole message (a message joined midway) and
    // after the last one (cut off by the end of the recording).
    std::int64_t trimmedFront = 0;
    std::int64_t trimmedBack = 0;
    // Between whole messages: a message whose checksum fails, and stretches
    // that are no message at all. Both are left out of the recording, or the
    // station would see them again on every pass of the loop.
    ProblemTally checksumFailures;
    ProblemTally unparsable;
};
