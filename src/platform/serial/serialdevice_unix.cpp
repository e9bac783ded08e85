#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "runtime.h"
#include "serialdevice.h"
#include "comnumbers.h"

std::string SystemComName(int port)
{
    // The device the number was given, also while it is away: an open then
    // says which device is missing. A number never given is no device.
    return NumberedDevice(port).device;
}

std::string SystemDevicePath(const std::string& name)
{
    if (name.empty() || name.front() == '/') return name;
    std::error_code error;
    std::filesystem::path absolute = std::filesystem::absolute(name, error);
    return error ? name : absolute.string();
}

int CheckSerialDevice(const std::string& device, std::string& reason)
{
    // A COM number with no port behind it.
    if (device.empty()) return kComBadPortNumber;
    struct stat info {};
    if (::stat(device.c_str(), &info) != 0) {
        const int error = errno;
        reason = std::strerror(error);
        if (error == EACCES) return kComCannotOpen;
        // A name too long to name anything is, like a missing one, no device.
        return kComNotFound;
    }
    if (!S_ISCHR(info.st_mode)) {
        reason = "not a serial device";
        return kComBadSettings;
    }
    return 0;
}
