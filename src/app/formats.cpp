#include "formats.h"

#include <array>

#include "../ui/quorvex.h"

namespace {

// In the order of the format ring.
constexpr std::array<DeviceFormat, 6> kFormats{{
    {0, "blender", "Velmara blender", "blender.csv", FileKind::Text, 0, StreamTimer::Text, BLENDPANEL, 51, {}, {}},
    {6, "blenderplus", "Velmara+ blender", "blenderplus.csv", FileKind::Text, 0, StreamTimer::Text, BLENDPAN2, 51,
     {}, {}},
    {3, "ipc", "Velmara pump controller (IPC)", "frac.csv", FileKind::Text, 0, StreamTimer::Text, IPCPANEL, 29, {},
     {}},
    {5, "dd16", "Velmara 16-channel data-acquisition unit (DD16)", "dd16.csv", FileKind::Text, 0, StreamTimer::Text,
     DD16PANEL, 17, {}, {}},
    {1, "j1587", "engine controller on SAE J1587", "ddec.bin", FileKind::Binary, 9600, StreamTimer::Binary, 0, 0,
     "J1587 Data", "Please refer to SAE \"Surface Vehicle Recommended Practice\" J1587"},
    {2, "j1939", "engine controller on SAE J1939", "hdv2.bin", FileKind::Binary, 115200, StreamTimer::Binary, 0, 0,
     "J1939 Data", "Please refer to SAE \"Surface Vehicle Recommended Practice\" J1939"},
}};

}  // namespace

std::span<const DeviceFormat> Formats() { return kFormats; }

const DeviceFormat* LookupFormat(int value)
{
    for (const DeviceFormat& format : kFormats)
        if (format.value == value) return &format;
    return nullptr;
}

const DeviceFormat* LookupFormatByShortName(std::string_view shortName)
{
    for (const DeviceFormat& format : kFormats)
        if (format.shortName == shortName) return &format;
    return nullptr;
}

int FormatBaud(const DeviceFormat& format, bool baud19200On)
{
    if (format.fixedBaud) return format.fixedBaud;
    return baud19200On ? 19200 : 9600;
}
