// One open serial device, as each system drives it. What both systems share
// (the per-record queue, the open codes, the close hand-over, the report of a
// lost port) lives in comports.cpp; a back end only moves bytes and notices a
// device that has gone. One file per system, chosen by the build.
#pragma once

#include <functional>
#include <memory>
#include <span>
#include <string>

#include "../runtime.h"

struct SerialLine {
    int baud = 9600;
    Parity parity = Parity::None;
    int dataBits = 8;
    int stopBits = 1;
};

class SerialIo {
public:
    // Both are called from the event loop, and each as the back end's last act:
    // the handler may destroy the back end.
    struct Events {
        std::function<void()> writable;  // the device can take more bytes
        std::function<void()> lost;      // the device has gone (hung up, pulled out)
    };

    virtual ~SerialIo() = default;
    // Hands the device what it takes now, without waiting; returns the count
    // taken, 0 when it takes nothing now or fails.
    virtual std::size_t writeNow(std::span<const char> bytes) = 0;
    // Whether to raise `writable` when the device can take more.
    virtual void watchWritable(bool on) = 0;
    // Bytes taken and not yet sent, where the system says (0 where not).
    virtual long long unsent() = 0;
    // Waits at most ms for the device to take more bytes (only in a close).
    virtual void waitWritable(int ms) = 0;
    // Whether the device has gone; one that only cannot take more now has not.
    virtual bool hungUp() = 0;
    // Whether a write the system has not finished holds bytes of ours.
    virtual bool writing() { return false; }
    // At a close: the bytes taken and never sent that the system gives back
    // (a write still in flight, cancelled), in order; empty where none.
    virtual std::string takeBackUnsent() { return {}; }
    // Whether the port takes data yet (a network port does not while it
    // connects); a device is ready from its open.
    virtual bool ready() { return true; }
    // Why the port was lost, as an open result and in words: kComCannotOpen
    // for a port that never became ready, kComNotFound for one lost while open.
    struct Loss {
        int code = kComNotFound;
        std::string reason = "the device has gone (hung up)";
    };
    virtual Loss loss() { return {}; }
};

// Opens device with the line settings, its queues of queueSize bytes. On
// failure returns null with an open code (kComNotFound, kComCannotOpen,
// kComBadSettings, kComOtherError) and the system's reason.
std::unique_ptr<SerialIo> OpenSerialIo(const std::string& device, const SerialLine& line,
                                       std::size_t queueSize, SerialIo::Events events, int& result,
                                       std::string& reason);
