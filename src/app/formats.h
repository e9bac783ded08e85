// The six devices the program can stand in for, by format value: the value of
// the format ring's items.
#pragma once

#include <string_view>

enum class FileKind { Text, Binary };
enum class StreamTimer { Text, Binary };

struct DeviceFormat {
    int value;
    std::string_view device;
    std::string_view fileName;
    FileKind kind;
    int fixedBaud;        // 0: 9600, or 19200 when the "19200" toggle is on
    StreamTimer timer;
    int listPanel;        // parameter list panel, 0 for none
    std::string_view boxTitle;  // otherwise this message box
    std::string_view boxText;
};

// The row of a format value, or nullptr for any value that names no format.
const DeviceFormat* LookupFormat(int value);

// The baud rate a format opens its port with.
int FormatBaud(const DeviceFormat& format, bool baud19200On);
