#include "devicecheck.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "../platform/runtime.h"
#include "../record/arguments.h"
#include "../record/outfile.h"

namespace {

std::string lower(std::string text)
{
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return text;
}

bool digitsOnly(const std::string& text)
{
    return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
}

// "rfc2217://HOST:PORT" or "tcp://HOST:PORT"; HOST may be "[::1]".
std::string readNetwork(const std::string& scheme, const std::string& address, PlayDevice& device)
{
    const std::string expected = "expected " + scheme + "://HOST:PORT, PORT a number from 1 to 65535";
    const std::size_t colon = address.rfind(':');
    if (colon == std::string::npos || colon == 0) return expected;
    std::string host = address.substr(0, colon);
    const std::string number = address.substr(colon + 1);
    if (host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
    if (host.empty() || host.find_first_of("/[]@ \t") != std::string::npos) return expected;
    if (!digitsOnly(number) || number.size() > 5 || std::stoi(number) < 1 || std::stoi(number) > 65535)
        return expected;
    device.portKind = scheme == "tcp" ? PortKind::Tcp : PortKind::Rfc2217;
    device.host = host;
    device.tcpPort = std::stoi(number);
    return {};
}

// The places the window looks for a data file, in its order.
std::vector<std::string> recordingPlaces()
{
    const std::string own = GetProjectDir(), user = GetRecordingsDir();
    if (user.empty() || user == own) return {own};
    return {user, own};
}

}  // namespace

const DeviceFormat* PlayFormatNamed(const std::string& name) { return LookupFormatByShortName(name); }

std::string FormatProblem()
{
    std::string names;
    for (const DeviceFormat& format : Formats()) names += (names.empty() ? "" : ", ") + std::string(format.shortName);
    return "no such format; the formats are " + names;
}

std::string ReadComNumber(long long number, PlayDevice& device)
{
    if (number < 1 || number > kMaxComPort) return "COM numbers run from 1 to " + std::to_string(kMaxComPort);
    device.portKind = PortKind::Com;
    device.comNumber = int(number);
    device.port = "COM" + std::to_string(number);
    return {};
}

std::string ReadPort(const std::string& text, PlayDevice& device)
{
    device.port = text;
    if (text.empty()) return "an empty port; expected a COM number, a device path or a network address";
    std::int64_t number = 0;
    if (ComNumberOf(text, number)) return ReadComNumber(number, device);
    if (const std::size_t scheme = text.find("://"); scheme != std::string::npos) {
        const std::string name = lower(text.substr(0, scheme));
        if (name != "rfc2217" && name != "tcp")
            return "a network port is rfc2217://HOST:PORT or tcp://HOST:PORT, not " + name + "://";
        return readNetwork(name, text.substr(scheme + 3), device);
    }
    device.portKind = PortKind::Device;
    return {};
}

std::string FileProblem(const std::string& path, const std::string& what)
{
    const std::filesystem::path file = PathOf(path);
    std::error_code error;
    const auto status = std::filesystem::status(file, error);
    if (status.type() == std::filesystem::file_type::not_found) return "no such file";
    if (error) return "cannot be read: " + error.message();
    if (std::filesystem::is_directory(status)) return "a folder, not a " + what;
    if (!std::filesystem::is_regular_file(status)) return "not a regular file, so not a " + what;
    std::ifstream in(file, std::ios::binary);
    if (!in) return std::string("cannot be read: ") + std::strerror(errno);
    return {};
}

std::string FindRecording(const DeviceFormat& format, std::string& problem)
{
    const std::string name(format.fileName);
    const std::vector<std::string> places = recordingPlaces();
    for (const std::string& place : places) {
        const std::string path = MakePathname(place, name);
        std::int64_t size = 0;
        if (GetFileInfo(path, size) != 1) continue;
        if (std::string wrong = FileProblem(path, "recording"); !wrong.empty()) problem = path + ": " + wrong;
        return problem.empty() ? path : std::string();
    }
    const std::string first = PrintableName(places.front()), last = PrintableName(places.back());
    problem = "no recording given, and " + name + (places.size() > 1 ? " is in neither " + first + " nor " + last
                                                                     : " is not in " + first);
    return {};
}

std::string BaudProblem(const DeviceFormat& format, long long baud, const std::string& key)
{
    const std::string device = "the " + std::string(format.device);
    if (format.value == kJ1939) {
        // An SLCAN gateway takes what its serial side runs at; fast ones more
        // than the window's 115200, which a busy bus can need.
        for (const long long rate : kGatewayRates)
            if (baud == rate) return {};
        return device + " streams at 115200 baud, or 230400, 460800 or 921600 for a fast gateway";
    }
    if (format.fixedBaud)
        return device + " streams at " + std::to_string(format.fixedBaud) + " baud; leave " + key + " out";
    if (baud != 9600 && baud != 19200) return device + " takes 9600 or 19200";
    return {};
}

std::string TimingProblem(const PlayDevice& device)
{
    const DeviceFormat& format = *device.format;
    if (format.kind == FileKind::Text) {
        if (device.timing != Timing::Fixed) return "a text device sends a record a second; timing is for engine streams";
        return {};
    }
    if (device.timestampsNow) return "timestamps are for text devices; an engine stream is sent as recorded";
    if (device.speed != 1 && device.timing == Timing::Fixed)
        return "speed goes with timing = \"recorded\" or \"paced\"";
    if (device.timing == Timing::Fixed || device.recording.empty()) return {};
    const bool log = IsTimedLog(device.recording);
    if (device.timing == Timing::Recorded && !log)
        return "timing = \"recorded\" plays a log with times (a candump log for J1939, a J1587 message log), and " +
               device.recording + " has none; timing = \"paced\" plays it in whole messages";
    if (device.timing == Timing::Paced && log)
        return "timing = \"paced\" plays a recording without times, and " + device.recording +
               " is a log with times: timing = \"recorded\" plays it as recorded";
    return {};
}

std::string PortKey(const PlayDevice& device)
{
    switch (device.portKind) {
    case PortKind::Com: {
        const std::string name = ComDeviceName(device.comNumber);
        return name.empty() ? device.port : PortIdentity(name);
    }
    case PortKind::Device: return PortIdentity(device.port);
    default: return "net:" + lower(device.host) + ":" + std::to_string(device.tcpPort);
    }
}

std::string PortShown(const PlayDevice& device)
{
    if (device.portKind != PortKind::Com) return PrintableName(device.port);
    // Windows' own COM3 is named once.
    const std::string name = ComDeviceName(device.comNumber);
    if (name == device.port) return device.port;
    return device.port + " (" + (name.empty() ? "no port" : PrintableName(name)) + ")";
}
