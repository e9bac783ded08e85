// What the user sees while recording and after: a progress line on a
// terminal, then a summary; with no terminal, one summary line.
#pragma once

#include <string>

#include "recording.h"

struct RecordingSession {
    const DeviceFormat* format = nullptr;
    std::string port;       // "COM3 (/dev/ttyUSB0)", or the device
    double seconds = 0;
    std::string ended;      // "after 15 minutes", "by Ctrl-C", ...
    std::string saved;      // the file written; empty when none
    std::string backup;     // the name an old file was kept under; empty when none
    bool replacedSample = false;  // it took the place of the shipped sample
    std::string sampleRestore;    // how that comes back: "reinstalling Quorvex restores"
    bool shortened = false; // cut back to what was written whole before a write failed
    std::string failure;    // why nothing was saved, when nothing was
    // An engine stream's log with times, saved beside it.
    std::string savedLog;   // the log written; empty when none
    std::string logBackup;  // the name an old log was kept under; empty when none
    std::string logFailure; // why the log was not saved beside a saved recording
    // A J1939 gateway that was set up: what to try when nothing came, and
    // how many of its commands it refused.
    std::string gatewayHint;
    int gatewayRefused = 0;
};

// "0:12  2400 bytes  240 messages  200 B/s  no problems"
std::string ProgressLine(const Recording& recording, double seconds);

std::string SummaryText(const Recording& recording, const RecordingSession& session);
std::string SummaryLine(const Recording& recording, const RecordingSession& session);

// When one pass of what is kept is shorter than a minute: how short, for a
// warning; otherwise empty.
std::string ShortWarning(const Recording& recording);

// "lines 4 (50 fields), 9 (1 field)": where the first records of another
// field count are, and their counts.
std::string FieldCountsAt(const TextCounts& counts, const std::string& unit);

// "1 record", "2 records"
std::string Plural(std::int64_t count, const std::string& one, const std::string& many);

// "0:12", "1:02:03"
std::string Elapsed(double seconds);
