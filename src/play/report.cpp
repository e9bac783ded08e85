#include "report.h"

#include <algorithm>
#include <cstdio>
#include <ctime>

#include "../app/statustip.h"
#include "../platform/runtime.h"

namespace {

std::string counted(long long n, const char* one) { return Grouped(n) + " " + one + (n == 1 ? "" : "s"); }

}  // namespace

const char* UnitOf(const PlayedDevice& played)
{
    if (played.device().format->kind == FileKind::Text) return "record";
    if (!played.timed()) return "chunk";
    return played.device().format->value == 2 ? "frame" : "message";
}

namespace {

// "13:04:05.250", the local time of day; with iso, "2026-12-10T13:04:05.250Z".
std::string timeText(std::chrono::system_clock::time_point when, bool iso)
{
    const auto millis = std::chrono::duration_cast<std::chrono::milliseconds>(when.time_since_epoch()).count();
    const std::time_t seconds = std::time_t(millis / 1000);
    char text[40];
    const std::tm* parts = iso ? std::gmtime(&seconds) : std::localtime(&seconds);
    std::strftime(text, sizeof text, iso ? "%Y-%m-%dT%H:%M:%S" : "%H:%M:%S", parts);
    char withMillis[48];
    std::snprintf(withMillis, sizeof withMillis, "%s.%03d%s", text, int(millis % 1000), iso ? "Z" : "");
    return withMillis;
}

const char* eventName(EventKind kind)
{
    switch (kind) {
    case EventKind::Started: return "started";
    case EventKind::CouldNotOpen: return "could_not_open";
    case EventKind::PortLost: return "port_lost";
    case EventKind::PortBack: return "port_back";
    case EventKind::NoRecording: return "no_recording";
    case EventKind::RecordingBack: return "recording_back";
    case EventKind::Replaced: return "replaced";
    case EventKind::Looped: return "loop";
    case EventKind::Done: return "done";
    case EventKind::NotStamped: return "not_stamped";
    case EventKind::Overload: return "overload";
    }
    return "";
}

std::string eventWords(const PlayEvent& event, const PlayedDevice& played)
{
    switch (event.kind) {
    case EventKind::Started:
        return "started on " + PortShownName(played.device()) + " at " +
               std::to_string(LineBaud(played.device())) + " baud";
    case EventKind::CouldNotOpen: return "could not open its port: " + event.why;
    case EventKind::PortLost: return "port lost: " + event.why;
    case EventKind::PortBack: return "port back: streaming again";
    case EventKind::NoRecording: return "nothing to send: " + event.why;
    case EventKind::RecordingBack: return "streaming again: the recording is there";
    case EventKind::Replaced: return "recording replaced: it streams from its start";
    case EventKind::Looped: return "loop " + Grouped(event.count) + " done: the recording starts over";
    case EventKind::Done: return "done: the recording was sent " + counted(event.count, "time");
    case EventKind::NotStamped:
        return "a record's first field is no timestamp; records are sent as they stand";
    case EventKind::Overload: return "too much for the line: " + event.why;
    }
    return {};
}

std::string stateWords(const PlayedDevice& played)
{
    switch (played.state()) {
    case PlayState::Starting: return "starting";
    case PlayState::Streaming: {
        const long long dropped = ComDroppedWrites(played.device().comport);
        if (dropped == 0) return "streaming";
        return "streaming; the station is not reading: " + counted(dropped, UnitOf(played)) + " not sent";
    }
    case PlayState::Waiting: return "waiting for its port: " + played.why();
    case PlayState::NoRecording: return "nothing to send: " + played.why();
    case PlayState::Done: return "done";
    case PlayState::Ended: return "ended";
    }
    return {};
}

// Cut to the terminal's width, at a character's start: a longer line would
// wrap and the redraw would no longer go back over it.
std::string fitted(std::string line, int columns)
{
    if (columns <= 1 || int(line.size()) < columns) return line;
    std::size_t cut = std::size_t(columns - 1);
    while (cut > 0 && (static_cast<unsigned char>(line[cut]) & 0xC0) == 0x80) --cut;
    line.resize(cut);
    return line;
}

}  // namespace

std::string DurationText(double seconds)
{
    if (seconds < 60) {
        char text[32];
        std::snprintf(text, sizeof text, "%.1f s", seconds);
        return text;
    }
    const long long whole = (long long)(seconds + 0.5);
    char text[48];
    if (whole < 3600) std::snprintf(text, sizeof text, "%lldm %02llds", whole / 60, whole % 60);
    else std::snprintf(text, sizeof text, "%lldh %02lldm %02llds", whole / 3600, whole / 60 % 60, whole % 60);
    return text;
}

std::string JsonString(const std::string& text)
{
    std::string json = "\"";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            json += '\\';
            json += c;
        } else if (byte < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", byte);
            json += escape;
        } else {
            json += c;
        }
    }
    return json + "\"";
}

Report::Report(const std::vector<std::unique_ptr<PlayedDevice>>& devices, EventLog& log, bool json)
    : devices_(devices), log_(log), json_(json), terminal_(!json && OutputIsTerminal())
{
    if (terminal_) PrepareTerminal();
}

std::vector<std::string> Report::deviceColumns(const PlayedDevice& played) const
{
    const PlayDevice& settings = played.settings();
    return {settings.name, std::string(settings.format->shortName), PortShownName(played.device()),
            counted(played.device().sent, UnitOf(played)), stateWords(played)};
}

void Report::writeEvent(const PlayEvent& event)
{
    const PlayedDevice& played = *devices_[std::size_t(event.device)];
    std::string line;
    if (json_) {
        line = "{\"time\":" + JsonString(timeText(event.when, true)) + ",\"device\":" +
               JsonString(played.settings().name) + ",\"event\":\"" + eventName(event.kind) + "\"";
        if (event.kind == EventKind::Started) line += ",\"port\":" + JsonString(PortShownName(played.device()));
        if (event.kind == EventKind::Looped || event.kind == EventKind::Done)
            line += ",\"loops\":" + std::to_string(event.count);
        if (!event.why.empty()) line += ",\"why\":" + JsonString(event.why);
        line += "}";
    } else {
        line = timeText(event.when, false) + " " + played.settings().name + ": " + eventWords(event, played);
    }
    if (terminal_) line = "\x1b[2K" + fitted(line, TerminalColumns());
    std::fputs((line + "\n").c_str(), stdout);
}

// The devices' lines in columns, each as wide as its widest entry.
void Report::redraw()
{
    std::vector<std::vector<std::string>> rows;
    std::vector<std::size_t> widths;
    for (const auto& played : devices_) {
        rows.push_back(deviceColumns(*played));
        widths.resize(rows.back().size());
        for (std::size_t i = 0; i < widths.size(); ++i) widths[i] = std::max(widths[i], rows.back()[i].size());
    }
    const int columns = TerminalColumns();
    for (std::vector<std::string>& row : rows) {
        std::string line;
        for (std::size_t i = 0; i < row.size(); ++i) {
            line += row[i];
            if (i + 1 < row.size()) line += std::string(widths[i] - row[i].size() + 2, ' ');
        }
        std::fputs(("\x1b[2K" + fitted(line, columns) + "\n").c_str(), stdout);
    }
    drawn_ = int(devices_.size());
}

void Report::write()
{
    // Back over the devices' lines: the events go above them, then the lines anew.
    if (terminal_ && drawn_ > 0) std::printf("\x1b[%dF", drawn_);
    const long long lost = log_.drain([this](const PlayEvent& event) { writeEvent(event); });
    if (lost > 0) {
        const std::string line = json_ ? "{\"event\":\"events_not_shown\",\"count\":" + std::to_string(lost) + "}"
                                       : counted(lost, "event") + " more, not shown";
        std::fputs((line + "\n").c_str(), stdout);
    }
    if (terminal_) redraw();
    std::fflush(stdout);
}
