// Logs with a time on each line: what the recorder saves beside an engine
// recording, what quorvex-play plays with the equipment's own timing, and
// what --check reads. J1939 is a candump log, as can-utils and python-can
// read and write it, a frame a line:
//     (1700000000.123456) slcan0 0CF00400#FFFF7DC01A18FFFF
// with 3 or 8 hex digits of ID and remote frames as 123#R or 123#R4. J1587 is
// a message log, a line a message: the time it arrived, where it came from,
// and its bytes in hex, checksum included:
//     (1700000000.123456) j1587 80BE7D0014E051
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "../app/formats.h"
#include "framing.h"

// Whether the file is a log with a time on each line (candump's, or a J1587
// message log) rather than a recording of bytes.
bool IsTimedLog(const std::string& path);

// The log the recorder saves beside an engine stream's file ("hdv2.log"
// beside "hdv2.bin"); empty for a text device, which has none.
std::string TimedLogName(const DeviceFormat& format);

// One line of a log, read.
struct LogLine {
    enum class Kind {
        Empty,        // nothing on it
        Frame,        // a frame or message to play
        NotCarried,   // a frame no serial line carries (CAN FD, an error frame)
        TimeBack,     // earlier than the line before it
        Unreadable,   // not a line of the log's format
        BadChecksum,  // a J1587 message whose checksum fails
    };
    Kind kind = Kind::Empty;
    std::int64_t ns = 0;  // its time in nanoseconds, as many digits of a second as the log gives
    std::string bytes;    // a frame: as the serial line carries it (SLCAN text, or the J1587 message)
    std::string key;      // a frame: what repeats (the J1939 ID; the J1587 MID and first PID)
    std::string wrong;    // any other kind: what it is, in the user's words
};

// Reads a log a line at a time, the order of its times included.
class LogReader {
public:
    explicit LogReader(bool j1939) : j1939_(j1939) {}
    // line: without its LF; a CR before it is dropped here.
    const LogLine& read(std::string_view line);

private:
    bool j1939_;
    std::int64_t last_ = -1;
    LogLine line_;
};

// The line the recorder writes for a message that arrived at unixUs
// (microseconds since 1970): the candump line of an SLCAN frame (its gateway
// time stamp left out: the line has the arrival time), or the J1587 line.
std::string LogLineOf(std::int64_t unixUs, Bytes message, bool j1939);
