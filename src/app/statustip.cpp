#include "statustip.h"

#include <cstdlib>
#include <vector>

#include "../platform/runtime.h"
#include "../serial/comcfg.h"
#include "device.h"
#include "formats.h"

namespace {

// Lines of the text file are counted when a tooltip first needs them for an
// open of the file at its present size. A file too large to count in a moment
// is not counted: the window must not stall under the mouse.
constexpr std::int64_t kLargestCounted = std::int64_t(64) << 20;

std::string plural(long long n, const char* one)
{
    return Grouped(n) + " " + one + (n == 1 ? "" : "s");
}

// A folder as the user knows it, with the home folder as "~".
std::string tilde(std::string_view folder)
{
    const char* home = std::getenv("HOME");
    const std::string_view prefix = home ? home : "";
    const bool inHome = !prefix.empty() && folder.starts_with(prefix) &&
                        (folder.size() == prefix.size() || folder[prefix.size()] == '/');
    return inHome ? std::string("~").append(folder.substr(prefix.size())) : std::string(folder);
}

// The folder part of a path, as the user knows it.
std::string folderPart(std::string_view path)
{
    const std::size_t slash = path.find_last_of("/\\");
    return tilde(slash == std::string_view::npos ? std::string_view(".") : path.substr(0, slash));
}

// The folder the data file is read from, whichever folder that is.
std::string folderOf(const Device& device) { return folderPart(device.path); }

// The name of the file streamed, as it stands in its folder.
std::string fileNameOf(const Device& device)
{
    const std::string_view path = device.path;
    const std::size_t slash = path.find_last_of("/\\");
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

// What stands under the data file's name where no regular file does.
std::string notAFile(PathKind kind)
{
    switch (kind) {
    case PathKind::Folder: return " is a folder, not a file";
    case PathKind::Pipe: return " is a named pipe, not a regular file";
    case PathKind::Device: return " is a device, not a regular file";
    case PathKind::BrokenLink: return " is a link to a file that is not there";
    case PathKind::Unknown: return " could not be read";
    default: return " is not a regular file";
    }
}

// The data file was found in none of the device's places: the first place
// where something else has its name says what that is; else every place
// looked in, in order.
std::string notFound(const Device& device, const std::string& name)
{
    std::string looked;
    for (int i = 0; i < device.placeCount; ++i) {
        const std::string& path = device.places[i].path;
        const PathKind kind = KindOfPath(path);
        if (kind != PathKind::Missing && kind != PathKind::File)
            return "Idle: " + name + " in " + folderPart(path) + notAFile(kind);
        looked += (i > 0 ? " nor in " : "") + folderPart(path);
    }
    return "Idle: " + name + " is not in " + looked;
}

long long linesOf(Device& device)
{
    std::int64_t size = 0;
    Device::LineCount& counted = device.counted;
    if (GetFileInfo(device.path, size) != 1) return -1;
    if (counted.handle == device.fileHandle && counted.size == size) return counted.lines;
    counted = {device.fileHandle, size, -1};
    if (size > kLargestCounted) return -1;
    const int file = OpenFile(device.path, FileAccess::Read, FileType::Text);
    if (file <= 0) return -1;
    std::vector<char> buffer(kLineBufferSize);
    long long lines = 0;
    while (ReadLine(file, buffer, kMaxLineChars) >= 0) ++lines;
    CloseFile(file);
    counted.lines = lines;
    return lines;
}

// Why the device's data is not there to send; empty when it is.
std::string dataTrouble(Device& device)
{
    const bool text = device.format->kind == FileKind::Text;
    if (text ? device.fileHandle > 0 && linesOf(device) != 0 : device.loopData != nullptr) return {};
    const std::string name = fileNameOf(device);
    const std::string in = name + " in " + folderOf(device);
    std::int64_t size = 0;
    const int info = GetFileInfo(device.path, size);
    if (info == 0) return notFound(device, name);
    if (info < 0) return "Idle: " + in + " could not be read";
    if (text) return "Idle: " + in + (size == 0 || device.fileHandle > 0 ? " has no records" : " could not be read");
    if (size < kChunkWrapMargin) return "Idle: " + in + " is too short to send (" + plural(size, "byte") + ")";
    if (size > kMaxRecordingSize) return "Idle: " + in + " is too large to hold (" + plural(size, "byte") + ")";
    return "Idle: " + in + " could not be read";
}

std::string textPlace(Device& device)
{
    const long long lines = linesOf(device);
    const long long record = device.countedHandle == device.fileHandle ? device.recordsRead : 0;
    std::string place = " (";
    if (record == 0) place += "record 1" + (lines > 0 ? " of " + Grouped(lines) : std::string()) + " next";
    else place += "record " + Grouped(record) + (lines > 0 ? " of " + Grouped(lines) : std::string());
    return fileNameOf(device) + place + ") from " + folderOf(device);
}

std::string binaryPlace(const Device& device)
{
    const std::int64_t pos = device.pos;
    std::string place = fileNameOf(device) + " from " + folderOf(device) + ", ";
    if (pos >= kChunkSize) place += "bytes " + Grouped(pos - kChunkSize) + "-" + Grouped(pos - 1);
    else place += "from byte 0";
    return place + " of " + Grouped(device.fileSize) + ",";
}

// Records (or chunks) dropped whole because the station stopped reading.
std::string dropped(const Device& device)
{
    const long long count = ComDroppedWrites(device.comport);
    if (count == 0) return {};
    const bool backedUp = GetOutQLen(device.comport) > 0;
    return std::string("\nThe station ") + (backedUp ? "is" : "was") + " not reading: " +
           plural(count, device.format->kind == FileKind::Text ? "record" : "chunk") + " not sent";
}

std::string idlePort(const Device& device)
{
    const std::string port = device.portName.empty() ? "COM" + std::to_string(device.comport) : PrintableName(device.portName);
    std::string tip = "Idle: " + port + " could not be opened";
    if (device.lastFailure == 0) return tip;
    tip += " (" + comErrorMessage(device.lastFailure, device.comport) + ")";
    const std::string detail = comErrorDetail(device, device.lastFailure, device.comport);
    if (!detail.empty()) tip += "\n" + detail;
    return tip;
}

}  // namespace

std::string Grouped(long long n)
{
    const std::string digits = std::to_string(n < 0 ? -n : n);
    std::string text = n < 0 ? "-" : "";
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) text += ',';
        text += digits[i];
    }
    return text;
}

void NoteTextRecord(Device& device)
{
    if (device.countedHandle != device.fileHandle) {
        device.countedHandle = device.fileHandle;
        device.recordsRead = 0;
    }
    ++device.recordsRead;
}

std::string PortShownName(int port)
{
    const std::string com = "COM" + std::to_string(port);
    const std::string device = ComDeviceName(port);
    return device.empty() || device == com || device == "\\\\.\\" + com ? com : com + " (" + PrintableName(device) + ")";
}

std::string PortShownName(const Device& device)
{
    return device.portName.empty() ? PortShownName(device.comport) : PrintableName(device.portName);
}

std::string StatusTip(Device& device)
{
    const DeviceFormat* format = device.format;
    if (!format) return "Idle";
    if (GetOutQLen(device.comport) < 0) return idlePort(device);
    if (device.ticking == Ticking::None) return "Idle";
    if (std::string trouble = dataTrouble(device); !trouble.empty()) return trouble;
    // The port is always opened with 8 data bits, no parity and 1 stop bit.
    return "Sending " + (format->kind == FileKind::Text ? textPlace(device) : binaryPlace(device)) + " to " +
           PortShownName(device) + " at " + std::to_string(LineBaud(device)) +
           " baud, 8N1" + dropped(device);
}
