// The serial ports Linux has, as Qt lists them from sysfs: ttyS nodes with no
// UART behind them are left out. Nothing is opened.
#include <QFile>
#include <QSerialPortInfo>

#include "comnumbers.h"

std::vector<PresentPort> PresentPorts()
{
    std::vector<PresentPort> ports;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        QString description = info.description();
        if (!info.manufacturer().isEmpty())
            description += (description.isEmpty() ? "" : " ") + ("(" + info.manufacturer() + ")");
        // A device's name is bytes, as the system gives them.
        ports.push_back({QFile::encodeName(info.systemLocation()).toStdString(), description.toStdString()});
    }
    return ports;
}

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

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
