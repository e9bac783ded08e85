// What differs between systems about serial devices, chosen by the build.
#pragma once

#include <span>
#include <string>

// The system's own name for the n-th serial port; empty when it has no such port.
std::string SystemComName(int port);

// The device a name means, as a shell would take it: a relative path is
// relative to the working folder (Qt would look it up under /dev/).
std::string SystemDevicePath(const std::string& name);

// Refuses, before any open, what cannot be a serial device: returns 0, or an
// open result with the system's reason.
int CheckSerialDevice(const std::string& device, std::string& reason);

// Whether the device behind an open descriptor has gone (hung up): a USB
// adapter pulled out, the far end of a pseudo-terminal closed. A device that
// only cannot take more bytes right now has not.
bool DeviceHungUp(long long handle);

// Writes what the device takes now, without waiting; returns the count taken,
// 0 when it takes nothing now or fails (the caller's queue then takes the
// bytes and reports the failure).
long long WriteNow(long long handle, std::span<const char> bytes);

// Bytes the driver holds and has not sent, where it says (0 where not).
long long UnsentInDriver(long long handle);
// Waits at most ms for the device to take more bytes.
void WaitWritable(long long handle, int ms);
