// Engine streams with the equipment's own timing: each frame of a candump log
// (sent as the SLCAN text a serial CAN gateway writes) or each message of a
// J1587 message log at its recorded time, or a recording's whole messages
// paced at the window's average of 200 bytes a second.
//
// The logs and how they are read: src/record/timedlog.h.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "../app/device.h"
#include "../record/timedlog.h"
#include "playargs.h"

// After every paced J1587 message the line stays idle at least this long:
// J1708 ends a message at 10 bit times of idle, and a transmitter waits 12
// bit times (its bus access time at the highest priority) before the next;
// at 9600 baud 12 bit times are 1.25 ms.
inline constexpr std::int64_t kJ1708IdleNs = 12 * 1'000'000'000LL / 9600;
// A byte on the J1708 line: 10 bits (8N1) at 9600 baud.
inline constexpr std::int64_t kJ1708ByteNs = 10 * 1'000'000'000LL / 9600;

// One frame or message: its bytes in the recording's buffer and its time
// from the start of the recording.
struct TimedFrame {
    std::int64_t offsetNs = 0;
    std::uint32_t at = 0;
    std::uint32_t size = 0;
};

struct TimedRecording {
    std::string bytes;  // every frame's bytes, one after the other, as the line carries them
    std::vector<TimedFrame> frames;
    std::int64_t loopNs = 0;  // one pass, so that the next pass keeps each message's period
    long long notPlayed = 0;  // lines of a log that no serial line carries (CAN FD, error frames)
    // J1587: the line's time for a byte and the idle after a message; a
    // message sent late (the process woken late) holds back the next one by
    // as much, so that the two stay apart on the line. 0 for SLCAN text.
    std::int64_t byteNs = 0, idleNs = 0;
    // Bytes a second the line must carry at speed.
    double bytesPerSecond(double speed) const;
};

// Reads a log for recorded timing, or a recording of bytes for paced timing.
// Returns "" or what is wrong ("line 12: ..." where a line is at fault).
std::string LoadTimed(const std::string& path, const DeviceFormat& format, Timing timing, TimedRecording& out);

// One device's place in its timed stream: frame i of pass k is due at
// start + (k x loop + offset of i) / speed.
class TimedStream {
public:
    using Clock = std::chrono::steady_clock;

    TimedStream(TimedRecording recording, double speed) : recording_(std::move(recording)), speed_(speed) {}

    void start(Clock::time_point at) { start_ = at; }
    // After a pause (a port lost and back): the next frame is due now.
    void resume(Clock::time_point now);
    Clock::time_point due() const;
    // Sends every frame due by now, each in one write; at the end of a pass
    // asks the device's view whether to start over.
    void sendDue(Clock::time_point now, Device& device);
    bool ended() const { return ended_; }
    const TimedRecording& recording() const { return recording_; }

private:
    std::chrono::nanoseconds offset() const;

    TimedRecording recording_;
    double speed_;
    Clock::time_point start_{};
    long long pass_ = 0;
    std::size_t next_ = 0;
    bool ended_ = false;
    Clock::time_point lineFree_{};  // when the line has carried the last message and its idle
};
