// Serial devices on Unix: what the system calls COM n, what a name means, and
// what a device must be to be opened, or what a user refused one can do.
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "../runtime.h"
#include "comnumbers.h"
#include "serialdevice.h"

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

// A serial device is usually group-owned (dialout on Debian): members may open it.
std::string PermissionRemedy(const std::string& device)
{
    struct stat info {};
    if (::stat(device.c_str(), &info) != 0) return {};
    // A device this user may open was refused for another reason (another program holds it).
    if (::access(device.c_str(), R_OK | W_OK) == 0) return {};
    const group* owner = ::getgrgid(info.st_gid);
    if (!owner || info.st_gid == 0) return {};
    const std::string name = owner->gr_name;
    return "Add yourself to the group " + name + " (sudo usermod -aG " + name +
           " $USER); it takes effect at the next login.";
}
