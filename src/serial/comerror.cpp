#include "comerror.h"

#include "../platform/runtime.h"

std::string ComOpenMessage(int code, std::string_view reason)
{
    switch (code) {
    case kComCannotOpen:
    case kComBadSettings: return "Could not open COM port.";
    case kComNotFound: return "Serial port not found.";
    case kComBadPortNumber: return "Invalid COM port number for this system.";
    default: return "Could not open COM port (error " + std::to_string(code) + ": " + std::string(reason) + ").";
    }
}

std::string ComOpenDetail(int code, std::string_view com, const std::string& device, std::string_view reason)
{
    const std::string noPort = "This computer has no serial port that is " + std::string(com) + ".";
    if (code == kComBadPortNumber) return com.empty() ? std::string() : noPort;
    if (device.empty()) return noPort;
    std::string detail = com.empty() ? device : std::string(com) + " is " + device;
    if (!reason.empty()) detail += ": " + std::string(reason);
    if (code == kComCannotOpen) {
        if (std::string remedy = PermissionRemedy(device); !remedy.empty()) detail += ". " + remedy;
    }
    // Device names are bytes: one that is not UTF-8 is shown as it is, byte for byte.
    return PrintableName(detail);
}
