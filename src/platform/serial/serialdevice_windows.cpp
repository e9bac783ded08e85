// Windows names its ports COM1, COM2, ...; COM10 and above open only by the
// device form \\.\COM<n>, which every number accepts.
#include <windows.h>

#include "../runtime.h"
#include "../system/widetext.h"
#include "serialclaim.h"
#include "serialdevice.h"

std::string SystemComName(int port)
{
    // The system's name for the port, asked without opening it. A number the
    // system does not have is no port, unless this program had it open: then
    // it is a port that has gone (an adapter pulled out), and its open says so.
    const std::string name = "COM" + std::to_string(port);
    wchar_t target[1024];
    if (QueryDosDeviceW(WidePath(name).c_str(), target, 1024) || GetLastError() == ERROR_INSUFFICIENT_BUFFER ||
        HadWin32Port(SystemDevicePath(name)))
        return name;
    return {};
}

std::string SystemDevicePath(const std::string& name)
{
    const bool comNumber = name.size() > 3 && (name[0] == 'C' || name[0] == 'c') && (name[1] == 'O' || name[1] == 'o') &&
                           (name[2] == 'M' || name[2] == 'm') &&
                           name.find_first_not_of("0123456789", 3) == std::string::npos;
    return comNumber ? "\\\\.\\" + name : name;
}

// A COM number with no port behind it; the system's own open says what any
// other name is not.
int CheckSerialDevice(const std::string& device, std::string&) { return device.empty() ? kComBadPortNumber : 0; }

// Windows refuses a port for being held by another program, not for groups.
std::string PermissionRemedy(const std::string&) { return {}; }
