// Windows names its ports COM1, COM2, ...; COM10 and above open only by the
// device form \\.\COM<n>, which every number accepts.
#include <cctype>

#include "serialdevice.h"

std::string SystemComName(int port) { return "COM" + std::to_string(port); }

std::string SystemDevicePath(const std::string& name)
{
    const bool comNumber = name.size() > 3 && (name[0] == 'C' || name[0] == 'c') && (name[1] == 'O' || name[1] == 'o') &&
                           (name[2] == 'M' || name[2] == 'm') &&
                           name.find_first_not_of("0123456789", 3) == std::string::npos;
    return comNumber ? "\\\\.\\" + name : name;
}

// The system's own open says what a name is not.
int CheckSerialDevice(const std::string&, std::string&) { return 0; }
