// The checks of one device's settings, the same whether they come from the
// command line or a site file. Each returns "" or what is wrong, in words
// that follow what the user gave ("PORT \"COM0\": " or "port = \"COM0\": ").
#pragma once

#include <string>
#include <vector>

#include "playargs.h"

// The format of a short name ("j1587"), or nullptr: the one place the player
// looks names up.
const DeviceFormat* PlayFormatNamed(const std::string& name);
std::string FormatProblem();  // for a name PlayFormatNamed does not know

// Reads a port, "3", "COM3", a device path or a network address, into device.
std::string ReadPort(const std::string& text, PlayDevice& device);
std::string ReadComNumber(long long number, PlayDevice& device);

// Whether the file at path can be read: there, a regular file, readable.
// what names it for the user: "recording", "site file".
std::string FileProblem(const std::string& path, const std::string& what);
// The format's own file, where the window would find it: the first place
// that has it. Empty, and why in problem, when none has it.
std::string FindRecording(const DeviceFormat& format, std::string& problem);

// Whether the format takes baud; key is how the user names it ("baud", "--baud").
std::string BaudProblem(const DeviceFormat& format, long long baud, const std::string& key);

// Rates an SLCAN gateway's serial side may run at; the window's is the first.
inline constexpr long long kGatewayRates[] = {115200, 230400, 460800, 921600};
inline constexpr int kJ1939 = 2;  // its format value

// Whether the device's timing, speed and timestamps go with its format and recording.
std::string TimingProblem(const PlayDevice& device);
// Whether the file is a log with a time on each line (a candump log, a J1587
// message log), as opposed to a recording of bytes.
bool IsTimedLog(const std::string& path);

// What a device's port reaches: one value for every name of one port.
std::string PortKey(const PlayDevice& device);

// The port as a listing shows it: "COM3 (/dev/ttyUSB0)", a path, an address.
std::string PortShown(const PlayDevice& device);
