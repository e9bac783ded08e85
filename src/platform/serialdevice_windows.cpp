#include <cstdlib>

#include "serialdevice.h"

std::string ComDeviceName(int port)
{
    const std::string variable = "QUORVEX_COM" + std::to_string(port);
    if (const char* mapped = std::getenv(variable.c_str()); mapped && *mapped) return mapped;
    return "COM" + std::to_string(port);
}

// Windows reports a resource error only when the device has gone.
bool DeviceHungUp(long long) { return true; }

// Overlapped writes are Qt's business on Windows: everything goes through its queue.
long long WriteNow(long long, std::span<const char>) { return 0; }
