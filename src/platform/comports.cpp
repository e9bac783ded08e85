// What each COM number is, in words for the COM ring's tooltips.
#include <cstdlib>

#include "comnumbers.h"
#include "runtime.h"
#include "serialdevice.h"

std::string ComPortDescription(int port)
{
    // The same mapping an open uses: QUORVEX_COM<n>, else the system's port.
    const std::string variable = "QUORVEX_COM" + std::to_string(port);
    const char* mapped = std::getenv(variable.c_str());
    const bool pinned = mapped && *mapped;
    const std::string device = pinned ? std::string(mapped) : SystemComName(port);
    if (device.empty()) return "no port";
    for (const PresentPort& present : ListedPorts()) {
        if (present.device != device) continue;
        return present.description.empty() ? device : device + " - " + present.description;
    }
    // A pinned device need not be listed (a pseudo-terminal); a system name must.
    return pinned ? device : "no port";
}
