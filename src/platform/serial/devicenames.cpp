// Which device each COM number is, and device names as text to show. COM n
// is the device named by QUORVEX_COM<n> when that is set, otherwise the
// system's own name for COM n.
#include <cstdlib>

#include "../runtime.h"
#include "comnumbers.h"
#include "serialdevice.h"

std::string ComDeviceName(int port)
{
    const std::string variable = "QUORVEX_COM" + std::to_string(port);
    if (const char* mapped = std::getenv(variable.c_str()); mapped && *mapped) return mapped;
    return SystemComName(port);
}

std::string PrintableName(std::string_view bytes)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string shown;
    for (std::size_t at = 0; at < bytes.size();) {
        const auto byte = (unsigned char)bytes[at];
        // The length of the UTF-8 sequence this byte starts (1: ASCII or not UTF-8).
        const std::size_t length = byte >= 0xF0 && byte <= 0xF4 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC2 ? 2 : 1;
        bool whole = byte < 0x80 || (length > 1 && byte < 0xF5 && at + length <= bytes.size());
        for (std::size_t i = 1; whole && i < length; ++i) whole = ((unsigned char)bytes[at + i] & 0xC0) == 0x80;
        // Overlong and surrogate forms are not UTF-8 either.
        if (whole && length == 3) {
            const auto next = (unsigned char)bytes[at + 1];
            whole = !(byte == 0xE0 && next < 0xA0) && !(byte == 0xED && next >= 0xA0);
        }
        if (whole && length == 4) {
            const auto next = (unsigned char)bytes[at + 1];
            whole = !(byte == 0xF0 && next < 0x90) && !(byte == 0xF4 && next >= 0x90);
        }
        if (whole) {
            shown.append(bytes.substr(at, byte < 0x80 ? 1 : length));
            at += byte < 0x80 ? 1 : length;
        } else {
            shown += {'\\', 'x', hex[byte >> 4], hex[byte & 15]};
            ++at;
        }
    }
    return shown;
}

// What each COM number is, in words for the COM ring's tooltips.
std::string ComPortDescription(int port)
{
    // The same mapping an open uses: QUORVEX_COM<n>, else the device the
    // number was given, "no port" while that device is away.
    const std::string device = ComDeviceName(port);
    if (device.empty()) return "no port";
    for (const PresentPort& present : ListedPorts()) {
        if (present.device != device) continue;
        return PrintableName(present.description.empty() ? device : device + " - " + present.description);
    }
    // A pinned device need not be listed (a pseudo-terminal); the system's own must be.
    return device == SystemComName(port) ? "no port" : PrintableName(device);
}
