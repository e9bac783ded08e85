// Which port a name reaches: Windows names ports in any case ("com3" is
// COM3), with or without the device namespace prefix ("\\.\COM3").
#include <string>

#include "runtime.h"

std::string PortIdentity(const std::string& name)
{
    std::string identity = name;
    for (const char* prefix : {"\\\\.\\", "\\\\?\\"})
        if (identity.rfind(prefix, 0) == 0) identity.erase(0, 4);
    for (char& c : identity)
        if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
    return identity;
}
