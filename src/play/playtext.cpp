// What quorvex-play says of itself: --help, and --check's listing.
#include <cstdio>

#include "../platform/runtime.h"
#include "../record/arguments.h"
#include "devicecheck.h"
#include "playargs.h"

namespace {

std::string jsonText(const std::string& text)
{
    std::string json = "\"";
    for (const char c : PrintableName(text)) {
        if (c == '"' || c == '\\') {
            json += {'\\', c};
        } else if ((unsigned char)c < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", unsigned(c));
            json += escaped;
        } else {
            json += c;
        }
    }
    return json + "\"";
}

// Characters, not bytes, for lining up columns of UTF-8.
std::size_t width(const std::string& text)
{
    std::size_t count = 0;
    for (const char c : text) count += ((unsigned char)c & 0xC0) != 0x80;
    return count;
}

std::string recordingOf(const PlayDevice& device)
{
    if (!device.recording.empty()) return device.recording;
    std::string problem;
    return FindRecording(*device.format, problem);
}

std::string jsonLine(const PlayDevice& device)
{
    std::string line = "{\"name\":" + jsonText(device.name) + ",\"format\":" + jsonText(std::string(device.format->shortName)) +
                       ",\"recording\":" + jsonText(recordingOf(device)) + ",\"port\":" + jsonText(device.port);
    if (device.portKind == PortKind::Com) line += ",\"device\":" + jsonText(ComDeviceName(device.comNumber));
    return line + ",\"baud\":" + std::to_string(device.baud) + "}\n";
}

}  // namespace

std::string PlayListing(const PlayOptions& options)
{
    if (options.json) {
        std::string lines;
        for (const PlayDevice& device : options.devices) lines += jsonLine(device);
        return lines;
    }
    std::vector<std::vector<std::string>> rows;
    std::vector<std::size_t> widths(5, 0);
    for (const PlayDevice& device : options.devices) {
        rows.push_back({PrintableName(device.name), std::string(device.format->shortName), PrintableName(recordingOf(device)),
                        PortShown(device), std::to_string(device.baud) + " baud"});
        for (std::size_t i = 0; i < widths.size(); ++i) widths[i] = std::max(widths[i], width(rows.back()[i]));
    }
    const std::size_t count = options.devices.size();
    std::string text = options.siteFile.empty() ? std::string()
                                                : PrintableName(options.siteName) + " (" + PrintableName(options.siteFile) +
                                                      "): " + std::to_string(count) + (count == 1 ? " device\n" : " devices\n");
    for (const std::vector<std::string>& row : rows) {
        std::string line = options.siteFile.empty() ? "" : "  ";
        for (std::size_t i = 0; i < row.size(); ++i)
            line += row[i] + (i + 1 < row.size() ? std::string(widths[i] - width(row[i]) + 2, ' ') : "");
        text += line + "\n";
    }
    return text;
}

std::string PlayHelpText()
{
    std::string formats;
    for (const DeviceFormat& format : Formats()) formats += (formats.empty() ? "" : ", ") + std::string(format.shortName);
    return "Usage: quorvex-play SITE.toml [--for DURATION | --loops N] [--no-retry] [--json]\n"
           "       quorvex-play FORMAT RECORDING PORT [--baud B] [--timing T [--speed S]]\n"
           "                    [--timestamps now] [the same options]\n"
           "       quorvex-play ... --check\n"
           "\n"
           "Plays recordings out of serial ports in an endless loop, as Quorvex does for\n"
           "one device: every device of a site file, each on its own port, or one device.\n"
           "\n"
           "FORMAT       " + formats + "\n"
           "             (quorvex-record --help names their devices and files)\n"
           "RECORDING    the file to play\n"
           "PORT         a COM number (3 or COM3, 1 to 256), numbered as Quorvex numbers\n"
           "             them (QUORVEX_COM<n> when set); a device path; or a serial device\n"
           "             server: rfc2217://HOST:PORT (RFC 2217) or tcp://HOST:PORT (raw)\n"
           "--baud B     text devices: 9600 or 19200 (default 19200); the engine streams\n"
           "             run at their own rate; J1939 also 230400, 460800 or 921600 (a\n"
           "             fast serial CAN gateway)\n"
           "--timing T   engine streams: fixed, the window's 50 bytes every 0.25 s (the\n"
           "             default); recorded, a log's frames or messages at their recorded\n"
           "             times (a candump log for J1939, a J1587 message log: quorvex-record\n"
           "             saves both); paced, a recording's whole messages at 200 bytes a\n"
           "             second, each J1587 message followed by the J1708 idle\n"
           "--speed S    recorded or paced timing S times as fast (0.01 to 100)\n"
           "--timestamps now   text devices: each record's first field, its timestamp,\n"
           "             the time it is sent, in the record's own layout\n"
           "\n"
           "--for D      stop after D: 90s, 15m, 8h, 1h30m\n"
           "--loops N    stop after N passes of the recordings\n"
           "--no-retry   give up on a port that fails (else it is tried again every 2 s)\n"
           "--json       report as JSON lines\n"
           "--check      check the site file (or the device), list the devices and end;\n"
           "             no port is opened\n"
           "--version    print quorvex-play's version\n"
           "\n"
           "A site file, in TOML:\n"
           "  name = \"Pad 7\"               # optional; else the file's name\n"
           "  [[device]]                   # one table a device\n"
           "  name = \"blender1\"            # each device's its own\n"
           "  format = \"blender\"\n"
           "  recording = \"blender1.csv\"   # optional, relative to the site file's folder;\n"
           "                               # else the format's own file, as Quorvex finds it\n"
           "  port = \"COM3\"                # or 3, a device path, rfc2217://..., tcp://...\n"
           "  baud = 9600                  # text devices: 9600 or 19200 (default 19200)\n"
           "  timing = \"recorded\"         # engine streams: fixed, recorded or paced\n"
           "  speed = 2.0                  # with recorded or paced timing\n"
           "  timestamps = \"now\"          # text devices: now or recorded (the default)\n"
           "A site file that is not sound stops everything before a port is opened, with\n"
           "every problem found, by line.\n"
           "\n"
           "All devices tick on one clock. A port that will not open, or is lost, is\n"
           "tried again every 2 s; the others stream on. On a terminal a line a device\n"
           "shows what it sent and its state; otherwise a line an event (started, port\n"
           "lost, port back, recording replaced, loop), or a JSON object with --json.\n"
           "It ends with --for or --loops, or Ctrl-C; every port is closed, and a\n"
           "summary says what each device sent.\n"
           "\n"
           "Exit codes: 0 every device streamed the whole run (or the site checked sound);\n"
           "1 a device did not (its port failed, it had nothing to send, or its station\n"
           "stopped reading: the summary says which and for how long);\n"
           "2 bad arguments or a site file that is not sound.\n";
}
