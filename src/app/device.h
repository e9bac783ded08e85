// One device the program stands in for, and everything a stream of it holds:
// its data file or recording and where that was found, the record on its way,
// the blink of its status, what its tooltip counts, and the port it sends to.
// The stream and port rules are functions over this value (stream/, serial/,
// status.h); the window holds one, a player of a whole site one per device.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "formats.h"

// Longest line sent; the rest of a longer line is skipped.
inline constexpr int kMaxLineChars = 2047;
// The line, CR LF and a terminating zero.
inline constexpr int kLineBufferSize = kMaxLineChars + 3;
inline constexpr int kChunkSize = 50;
// A chunk is sent only when one more byte than the chunk remains.
inline constexpr int kChunkWrapMargin = 51;
// The largest recording held in memory.
inline constexpr std::int64_t kMaxRecordingSize = std::int64_t(1) << 30;

// Which of a device's two clocks runs: the text timer's second or the binary
// timer's quarter second, or neither while it does not stream.
enum class Ticking { None, Text, Binary };

struct Device;

// How a device shows what it does: the window's status text, taskbar text,
// timers and "COM Error" box, or a player's status line and events. The rules
// call it at each change; it decides nothing of the stream.
class DeviceView {
public:
    virtual ~DeviceView() = default;
    virtual void showIdle(Device&) {}
    virtual void showSimulating(Device&) {}
    // A blink step: the device's visible flag holds the new phase.
    virtual void showPhase(Device&) {}
    // Which clock runs from now on (the window's two timers).
    virtual void setTicking(Device&, Ticking) {}
    // The port would not open, or went away (code is the open result); the
    // device's clock is already stopped and its status idle.
    virtual void comFailed(Device&, int /*code*/, int /*port*/) {}
    // The recording is about to start over from its beginning, at its end or
    // because it changed; false ends the stream there (nothing more is sent).
    virtual bool startOver(Device&, bool /*changed*/) { return true; }
};

// Everything a device holds, with its start values.
struct DeviceState {
    // What it is and where it sends. The port is known by its number: a COM
    // number the system maps to a device, or any number of the caller's own
    // when portName names the device (a path, a network port).
    const DeviceFormat* format = nullptr;
    int textBaud = 19200;   // the rate of a text format: 9600 or 19200
    int lineBaud = 0;       // a rate other than the format's own (a fast gateway's); 0: none
    int comport = 1;
    std::string portName;
    // The file to stream; empty: the format's own file, looked for in the
    // user's recordings folder first, then beside the program.
    std::string recording;
    Ticking ticking = Ticking::None;

    // The text data file: open while a text format streams (0: none, -1 after
    // a failed open), and the record read from it this tick.
    int fileHandle = 0;
    std::string path;
    char lineBuffer[kLineBufferSize] = {};
    int lineLength = -1;  // without CR LF; -1 when this tick read none

    // The binary recording, held whole, and the next byte to send.
    std::unique_ptr<std::byte[]> loopData;
    std::int64_t fileSize = 0;
    std::int64_t pos = 0;

    // Where the file is looked for, in order, each watched so that a
    // recording put in place while the stream runs is noticed; current is
    // the place path names.
    struct Place {
        std::string path;
        int watch = 0;
    };
    std::array<Place, 2> places{};
    int placeCount = 0;
    int current = -1;
    int ticksSinceLook = 0;  // binary ticks since the recording's file was looked at

    // The status: the blink's phase (1 shown), binary ticks since the last
    // blink step, and whether the last tick found nothing to send.
    unsigned char visible = 1;
    int blinkCount = 0;
    bool nothingToSend = false;

    // What the tooltip counts: records read since the text file's last open,
    // the open result of the port's last failure, and the file's lines.
    int countedHandle = 0;
    long long recordsRead = 0;
    int lastFailure = 0;
    struct LineCount {
        int handle = 0;
        std::int64_t size = -1;
        long long lines = -1;
    } counted;

    // What went out: records or chunks handed to the port, those the port had
    // no room for (dropped whole), and how often the recording has been sent
    // from its start to its end.
    long long sent = 0;
    long long notSent = 0;
    long long loops = 0;
};

// A device is known to the process for as long as it lives (see Devices()).
struct Device : DeviceState {
    explicit Device(DeviceView* shownBy = nullptr);
    ~Device();
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;

    DeviceView* view = nullptr;
};

// The rate the device's port is opened at.
inline int LineBaud(const DeviceState& device)
{
    return device.lineBaud ? device.lineBaud : FormatBaud(*device.format, device.textBaud == 19200);
}

// Every device there is, oldest first: what is the process's, not a device's
// (staying awake, a port lost), is counted over all of them.
std::span<Device* const> Devices();

// Releases what the device holds (its file, recording, watches and port) and
// puts it back as it was made; its view stays. The program's shutdown and the
// tests' fixtures end a device through this one call.
void ReleaseDevice(Device& device);
