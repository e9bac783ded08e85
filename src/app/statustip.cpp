#include "statustip.h"

#include <cstdlib>
#include <vector>

#include "../platform/runtime.h"
#include "../serial/comcfg.h"
#include "../stream/datafile.h"
#include "../stream/streams.h"
#include "../ui/quorvex.h"
#include "formats.h"
#include "startup.h"

namespace {

int countedHandle = 0;   // the open of the text file the count is of
long long recordsRead = 0;
int lastFailure = 0;

// Lines of the text file, counted when a tooltip first needs them for an open
// of the file at its present size. A file too large to count in a moment is
// not counted: the window must not stall under the mouse.
struct LineCount {
    int handle = 0;
    std::int64_t size = -1;
    long long lines = -1;
};
LineCount counted;
constexpr std::int64_t kLargestCounted = std::int64_t(64) << 20;

std::string grouped(long long n)
{
    const std::string digits = std::to_string(n < 0 ? -n : n);
    std::string text = n < 0 ? "-" : "";
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) text += ',';
        text += digits[i];
    }
    return text;
}

std::string plural(long long n, const char* one)
{
    return grouped(n) + " " + one + (n == 1 ? "" : "s");
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

// The folder the data file is read from: its path without the file's own
// name, whichever folder that is.
std::string folderOf(const DeviceFormat& format)
{
    std::string_view folder = path;
    if (folder.size() > format.fileName.size() && folder.ends_with(format.fileName))
        folder.remove_suffix(format.fileName.size() + 1);
    return tilde(folder);
}

// Where the data file was looked for: the user's recordings folder, where
// there is one apart from the program's, then the program's.
std::string placesLooked()
{
    const std::string own = GetProjectDir(), user = GetRecordingsDir();
    return user.empty() || user == own ? tilde(own) : tilde(user) + " nor in " + tilde(own);
}

long long linesOf(int handle)
{
    std::int64_t size = 0;
    if (GetFileInfo(path, size) != 1) return -1;
    if (counted.handle == handle && counted.size == size) return counted.lines;
    counted = {handle, size, -1};
    if (size > kLargestCounted) return -1;
    const int file = OpenFile(path, FileAccess::Read, FileType::Text);
    if (file <= 0) return -1;
    std::vector<char> buffer(kLineBufferSize);
    long long lines = 0;
    while (ReadLine(file, buffer, kMaxLineChars) >= 0) ++lines;
    CloseFile(file);
    counted.lines = lines;
    return lines;
}

// Why the format's data is not there to send; empty when it is.
std::string dataTrouble(const DeviceFormat& format)
{
    const bool text = format.kind == FileKind::Text;
    if (text ? fileHandle > 0 && linesOf(fileHandle) != 0 : loopData != nullptr) return {};
    const std::string name(format.fileName);
    const std::string in = name + " in " + folderOf(format);
    std::int64_t size = 0;
    const int info = GetFileInfo(path, size);
    if (info == 0) return "Idle: " + name + " is not in " + placesLooked();  // or is no file
    if (info < 0) return "Idle: " + in + " could not be read";
    if (text) return "Idle: " + in + (size == 0 || fileHandle > 0 ? " has no records" : " could not be read");
    if (size < kChunkWrapMargin) return "Idle: " + in + " is too short to send (" + plural(size, "byte") + ")";
    if (size > kMaxRecordingSize) return "Idle: " + in + " is too large to hold (" + plural(size, "byte") + ")";
    return "Idle: " + in + " could not be read";
}

std::string textPlace(const DeviceFormat& format)
{
    const long long lines = linesOf(fileHandle);
    const long long record = countedHandle == fileHandle ? recordsRead : 0;
    std::string place = " (";
    if (record == 0) place += "record 1" + (lines > 0 ? " of " + grouped(lines) : std::string()) + " next";
    else place += "record " + grouped(record) + (lines > 0 ? " of " + grouped(lines) : std::string());
    return std::string(format.fileName) + place + ") from " + folderOf(format);
}

std::string binaryPlace(const DeviceFormat& format)
{
    std::string place = std::string(format.fileName) + " from " + folderOf(format) + ", ";
    if (pos >= kChunkSize) place += "bytes " + grouped(pos - kChunkSize) + "-" + grouped(pos - 1);
    else place += "from byte 0";
    return place + " of " + grouped(fileSize) + ",";
}

// Records (or chunks) dropped whole because the station stopped reading.
std::string dropped(const DeviceFormat& format)
{
    const long long count = ComDroppedWrites(comport);
    if (count == 0) return {};
    const bool backedUp = GetOutQLen(comport) > 0;
    return std::string("\nThe station ") + (backedUp ? "is" : "was") + " not reading: " +
           plural(count, format.kind == FileKind::Text ? "record" : "chunk") + " not sent";
}

std::string idlePort()
{
    std::string tip = "Idle: COM" + std::to_string(comport) + " could not be opened";
    if (lastFailure == 0) return tip;
    tip += " (" + comErrorMessage(lastFailure, comport) + ")";
    if (const std::string detail = comErrorDetail(lastFailure, comport); !detail.empty()) tip += "\n" + detail;
    return tip;
}

}  // namespace

void NoteTextRecord()
{
    if (countedHandle != fileHandle) {
        countedHandle = fileHandle;
        recordsRead = 0;
    }
    ++recordsRead;
}

void NoteComFailure(int code) { lastFailure = code; }

std::string PortShownName(int port)
{
    const std::string com = "COM" + std::to_string(port);
    const std::string device = ComDeviceName(port);
    return device.empty() || device == com || device == "\\\\.\\" + com ? com : com + " (" + PrintableName(device) + ")";
}

std::string StatusTip()
{
    int value = 0, text = 0, binary = 0, baud19200 = 0;
    GetCtrlVal(spanel, FORMAT, value);
    const DeviceFormat* format = LookupFormat(value);
    if (!format) return "Idle";
    if (GetOutQLen(comport) < 0) return idlePort();
    GetCtrlAttribute(spanel, ATIMER, ATTR_ENABLED, text);
    GetCtrlAttribute(spanel, DTIMER, ATTR_ENABLED, binary);
    if (!text && !binary) return "Idle";
    if (std::string trouble = dataTrouble(*format); !trouble.empty()) return trouble;
    GetCtrlVal(spanel, BAUD1, baud19200);
    // The port is always opened with 8 data bits, no parity and 1 stop bit.
    return "Sending " + (format->kind == FileKind::Text ? textPlace(*format) : binaryPlace(*format)) + " to " +
           PortShownName(comport) + " at " + std::to_string(FormatBaud(*format, baud19200 != 0)) + " baud, 8N1" +
           dropped(*format);
}
