// What each COM number is, in words for the COM ring's tooltips.
#include "comnumbers.h"
#include "runtime.h"
#include "serialdevice.h"

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
