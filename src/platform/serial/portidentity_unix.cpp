// Which device a port's name reaches, without opening it: the claim on a port
// is keyed on the device, so two names of one device are one port.
#include <sys/stat.h>

#include <string>

#include "runtime.h"

std::string PortIdentity(const std::string& name)
{
    struct stat info {};
    // stat follows links: a link to a tty and the tty itself are one device.
    if (name.empty() || ::stat(name.c_str(), &info) != 0) return "name:" + name;
    if (S_ISCHR(info.st_mode)) return "device:" + std::to_string(info.st_rdev);
    return "file:" + std::to_string(info.st_dev) + ":" + std::to_string(info.st_ino);
}
