#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "runtime.h"
#include "serialdevice.h"
#include "comnumbers.h"

std::string SystemComName(int port)
{
    // COM n is the n-th port present, numbered as Windows would; none: no device.
    const std::vector<PresentPort> ports = NumberPorts(ListedPorts());
    return port >= 1 && size_t(port) <= ports.size() ? ports[size_t(port) - 1].device : std::string();
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
