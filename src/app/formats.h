// The six devices the program can stand in for, by format value: the value of
// the format ring's items. The window, quorvex-record and the console player
// know the formats from here alone.
#pragma once

#include <span>
#include <string_view>

enum class FileKind { Text, Binary };
enum class StreamTimer { Text, Binary };

struct DeviceFormat {
    int value;
    std::string_view shortName;  // as console programs name it: "j1587"
    std::string_view device;
    std::string_view fileName;
    FileKind kind;
    int fixedBaud;        // 0: 9600, or 19200 when the "19200" toggle is on
    StreamTimer timer;
    int listPanel;        // parameter list panel, 0 for none
    int fieldCount;       // fields of a text record, as its list panel lists them; 0 for the engine streams
    std::string_view boxTitle;  // otherwise this message box
    std::string_view boxText;
};

// Every format, in the order of the program's format ring.
std::span<const DeviceFormat> Formats();

// The row of a format value, or nullptr for any value that names no format.
const DeviceFormat* LookupFormat(int value);
// The row of a short name ("blenderplus"), or nullptr for any other text.
const DeviceFormat* LookupFormatByShortName(std::string_view shortName);

// The baud rate a format opens its port with.
int FormatBaud(const DeviceFormat& format, bool baud19200On);
