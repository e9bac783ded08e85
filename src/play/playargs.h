// quorvex-play's inputs: its command line and the site file it names, read
// and checked before anything is opened.
//
//   quorvex-play SITE.toml [options]                  the devices a site file lists
//   quorvex-play FORMAT RECORDING PORT [--baud B] [options]   one device
//
// A site file, in TOML:
//
//   name = "Pad 7"                 # optional; else the file's stem
//   [[device]]
//   name = "blender1"              # required, unique in the site
//   format = "blender"             # required: a short name, as quorvex-record takes
//   recording = "blender1.csv"     # optional; relative to the site file's folder;
//                                  # else the format's own file, found as the window finds it
//   port = "COM3"                  # required: 3, "COM3", a device path,
//                                  # "rfc2217://HOST:PORT" or "tcp://HOST:PORT"
//   baud = 9600                    # text devices only: 9600 or 19200 (default 19200)
#pragma once

#include <string>
#include <vector>

#include "../app/formats.h"

enum class PortKind { Com, Device, Rfc2217, Tcp };

// How an engine stream's bytes are timed: fixed, the window's 50 bytes every
// quarter second; recorded, each frame or message of a log at its recorded
// time; paced, a recording's whole messages at the window's 200 bytes a second.
enum class Timing { Fixed, Recorded, Paced };

struct PlayDevice {
    std::string name;  // from the command line: the format's short name
    const DeviceFormat* format = nullptr;
    std::string recording;  // a path; empty: the format's own file, looked up as the window does
    std::string port;       // "COM3", a device path, or the network address as given
    PortKind portKind = PortKind::Device;
    int comNumber = 0;    // PortKind::Com: 1 to 256
    std::string host;     // PortKind::Rfc2217 and Tcp
    int tcpPort = 0;
    int baud = 0;         // the line's rate; an engine stream's own, or a fast gateway's
    Timing timing = Timing::Fixed;
    double speed = 1;     // recorded and paced timing: how much faster than recorded
    bool timestampsNow = false;  // text devices: each record's timestamp the time it is sent
    int line = 0;         // the line of its [[device]] in the site file; 0 from the command line
};

struct PlayOptions {
    std::vector<PlayDevice> devices;
    std::string siteName;   // the site's name = or the file's stem; empty for one device
    std::string siteFile;   // as given; empty for one device
    double forSeconds = 0;  // --for; 0: until stopped
    long long loops = 0;    // --loops; 0: until stopped
    bool retry = true;      // false with --no-retry: a port that fails is not tried again
    bool json = false;
    bool check = false;
    bool help = false;
    bool version = false;
};

// Reads the arguments after the program's name and, for a site, its file,
// and checks every device: its format, recording, port and baud, and that no
// two share a port or a name. Returns "" or every problem found, one a line,
// ready for stderr; the caller then exits with status 2, having opened nothing.
// With help or version set, nothing else is read.
std::string ParsePlayArguments(const std::vector<std::string>& args, PlayOptions& options);

std::string PlayHelpText();
std::string PlayVersionText();  // "quorvex-play 2.14\n"

// What --check prints: the devices one a line (name, format, recording, port,
// baud), or with json a JSON object a line.
std::string PlayListing(const PlayOptions& options);
