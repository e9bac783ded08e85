// What differs between systems about serial devices, chosen by the build.
// The same files say what a user refused a device can do (PermissionRemedy,
// in runtime.h).
#pragma once

#include <span>
#include <string>

// The system's own name for COM n; empty when no device has that number.
std::string SystemComName(int port);

// The device a name means, as a shell would take it: a relative path is
// relative to the working folder (Qt would look it up under /dev/).
std::string SystemDevicePath(const std::string& name);

// Refuses, before any open, what cannot be a serial device: returns 0, or an
// open result with the system's reason.
int CheckSerialDevice(const std::string& device, std::string& reason);
