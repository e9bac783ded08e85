// What the player says: on a terminal, a line a device redrawn in place (name,
// format, port, what it sent, its state) below the events; otherwise a plain
// line an event, or a JSON object a line with --json; and the summary at the
// end. Everything here is composed when it is written, never on a tick.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "events.h"
#include "played.h"

class Report {
public:
    Report(const std::vector<std::unique_ptr<PlayedDevice>>& devices, EventLog& log, bool json);

    bool terminal() const { return terminal_; }
    // Writes the events since the last call and, on a terminal, the devices' lines.
    void write();
    // The run is over: the last events, then a summary line a device and the verdict.
    void summary(int status, double seconds);


private:
    void writeEvent(const PlayEvent& event);
    void redraw();
    // A device's line: name, format, port, what it sent, its state.
    std::vector<std::string> deviceColumns(const PlayedDevice& device) const;

    const std::vector<std::unique_ptr<PlayedDevice>>& devices_;
    EventLog& log_;
    bool json_;
    bool terminal_;
    int drawn_ = 0;  // lines of the last redraw, to go back over
};

// What a device sends, one: "record", "chunk", "frame" (J1939 with its own
// timing) or "message" (J1587).
const char* UnitOf(const PlayedDevice& device);
// "1h 02m 05s", "12.5 s"
std::string DurationText(double seconds);
// A JSON string literal of text (UTF-8 kept; controls escaped).
std::string JsonString(const std::string& text);
