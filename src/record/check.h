// quorvex-record --check FILE [--format F] [--fix]: whether a recording
// replays cleanly, found by reading it as the recorder reads what arrives,
// and its replay-clean version: what the recorder would have saved.
#pragma once

#include <string>

#include "../app/formats.h"

// Prints what it finds; with fix, writes the replay-clean version in place
// of file and keeps the original as file.bak. format: from --format, or
// nullptr. Returns the exit code: 0 replays cleanly (after the fix, if
// any), 1 problems left, 2 no format or an unreadable file.
int CheckRecording(const std::string& file, const DeviceFormat* format, bool fix);
