#include "timed.h"

#include <algorithm>
#include <span>

#include "../platform/runtime.h"
#include "../stream/streams.h"

std::chrono::nanoseconds TimedStream::offset() const
{
    // In double: exact to nanoseconds for years of passes, and no sum of
    // rounded steps that could drift.
    const double ns = (double(pass_) * double(recording_.loopNs) + double(recording_.frames[next_].offsetNs)) / speed_;
    return std::chrono::nanoseconds(std::int64_t(ns));
}

TimedStream::Clock::time_point TimedStream::due() const
{
    return ended_ ? Clock::time_point::max() : std::max(start_ + offset(), lineFree_);
}

void TimedStream::resume(Clock::time_point now) { start_ = now - offset(); }

void TimedStream::sendDue(Clock::time_point now, Device& device)
{
    while (!ended_ && due() <= now) {
        const TimedFrame& frame = recording_.frames[next_];
        CountWrite(device, ComWrt(device.comport, std::span<const char>(recording_.bytes.data() + frame.at, frame.size)));
        // Messages due together after a late wake-up go out one at a time,
        // each after the one before it and the idle: a J1708 station ends a
        // message only at the idle line. The schedule itself stays put.
        if (recording_.idleNs > 0)
            lineFree_ = now + std::chrono::nanoseconds(std::int64_t(frame.size) * recording_.byteNs + recording_.idleNs);
        if (++next_ < recording_.frames.size()) continue;
        // The end of a pass: the next starts one loop after this one did.
        ++device.loops;
        if (device.view && !device.view->startOver(device, false)) {
            ended_ = true;
            return;
        }
        next_ = 0;
        ++pass_;
    }
}
