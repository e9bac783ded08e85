// The command line: quorvex-record FORMAT PORT [--minutes M | --records N]
// [--baud 9600|19200] [--can-bitrate B | --no-gateway-setup] [--out DIR]
// [--force], or quorvex-record --check FILE
// [--format F] [--fix], --cable-test PORT_A [PORT_B], --list, or --help |
// --version. CLI11 reads the command line; the values are checked here, in
// the recorder's words.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "../app/formats.h"
#include "gateway.h"
#include "ports.h"

struct RecordArguments {
    const DeviceFormat* format = nullptr;  // with --check, from --format
    std::string formatName;     // as the user wrote it: "j1587"
    PortChoice port;
    int baud = 0;
    double minutes = 15;        // how long to record, unless records is set
    std::int64_t records = 0;   // records or messages to record; 0: by time
    std::string folder = ".";
    bool force = false;
    int canBitrate = kJ1939Bitrate;  // j1939: the bitrate the gateway is set to
    bool gatewaySetup = true;   // j1939: open the gateway, and close it at the end
    bool help = false;
    bool version = false;
    std::string check;          // the recording to check instead of recording
    bool fix = false;
    std::vector<PortChoice> cablePorts;  // --cable-test: one port (a loopback) or two
    bool list = false;
};

// Reads the arguments after the program's name. Returns an empty string, or
// what is wrong with them, for the user.
std::string ParseArguments(const std::vector<std::string>& args, RecordArguments& parsed);

// The --help text: usage, the formats with their devices and files, the exit codes.
std::string HelpText();
// The --version line: "quorvex-record 2.14".
std::string VersionText();

// Whether a port is given as a COM number, "3" or "COM3" (any case), and
// which; a number too long to hold is -1. Anything else names a device.
bool ComNumberOf(const std::string& port, std::int64_t& number);
