// The binary stream with recordings of any size, switched between the two
// binary formats at any read position: each tick must send the 50 bytes at
// the read position when one more byte than a chunk remains there, or else
// the first 50; the read position stays inside the recording; a recording
// that is too short or too large to hold sends nothing. Every chunk is read
// back from the pseudo-terminal and compared with the recording's bytes.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>

#include "harness.h"
#include "platform/runtime.h"
#include "stream/datafile.h"
#include "stream/streams.h"
#include "app/startup.h"
#include "ui/quorvex.h"

namespace {

// Recordings larger than the program holds: made sparse, refused unread.
constexpr long long kHugeSizes[] = {kMaxRecordingSize + 1, (1ll << 31) - 1, 1ll << 31, (1ll << 31) + 1,
                                    (1ll << 32) - 1, (1ll << 32) + 60, 1ll << 40};

std::string recordingBytes(std::size_t size, std::uint8_t seed)
{
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) {
        std::uint64_t x = (i + 1 + (std::uint64_t(seed) << 32)) * 0x9E3779B97F4A7C15ull;
        bytes[i] = char((x ^ (x >> 29)) >> 56);
    }
    return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    startProgram(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider input(data, size);
    ReleaseRecording(windowDevice);
    pos = 0;
    std::string held;      // the bytes of the recording the program should hold
    std::string expected;  // what the station should have received since the last check
    for (int step = 0; step < 24 && input.remaining_bytes() > 0; ++step) {
        if (input.ConsumeBool()) {
            // The user picks a binary format whose recording is this.
            const int format = input.ConsumeBool() ? 1 : 2;
            const char* name = format == 1 ? "ddec.bin" : "hdv2.bin";
            if (input.ConsumeIntegralInRange(0, 15) == 0) {
                sparseDataFile(name, input.PickValueInArray(kHugeSizes));
                held.clear();
            } else {
                held = recordingBytes(input.ConsumeIntegralInRange<std::size_t>(0, 3000),
                                      input.ConsumeIntegral<std::uint8_t>());
                writeDataFile(name, held);
                if (held.size() < std::size_t(kChunkWrapMargin)) held.clear();
            }
            SetCtrlVal(spanel, FORMAT, format);
            openFile();
            if ((loopData != nullptr) != !held.empty() || fileSize != std::int64_t(held.size()))
                fail("recording of " + std::to_string(held.size()) + " bytes held as " + std::to_string(fileSize));
            continue;
        }
        const int ticks = input.ConsumeIntegralInRange(1, 120);
        for (int tick = 0; tick < ticks; ++tick) {
            const std::int64_t before = pos;
            DTimerTick(spanel, DTIMER, EVENT_TIMER_TICK, nullptr, 0, 0);
            if (held.empty()) {
                if (pos != before) fail("read position moved without a recording");
                continue;
            }
            const std::int64_t size = std::int64_t(held.size());
            const std::int64_t start = before + kChunkWrapMargin <= size ? before : 0;
            if (pos != start + kChunkSize || pos >= size)
                fail("read position " + std::to_string(pos) + " after a chunk at " + std::to_string(start) +
                     " of " + std::to_string(size));
            expected += held.substr(std::size_t(start), kChunkSize);
        }
        // Read back a step's chunks at once: the line holds far more than 120 of them.
        if (readSent(expected.size()) != expected) fail("the chunks sent differ from the recording's");
        expected.clear();
    }
    if (!readWaiting().empty()) fail("more sent than one chunk a tick");
    return 0;
}
