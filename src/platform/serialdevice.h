// What differs between systems about serial devices, chosen by the build.
#pragma once

#include <span>
#include <string>

// The system's own name for the n-th serial port.
std::string SystemComName(int port);

// Whether the device behind an open descriptor has gone (hung up): a USB
// adapter pulled out, the far end of a pseudo-terminal closed. A device that
// only cannot take more bytes right now has not.
bool DeviceHungUp(long long handle);

// Writes what the device takes now, without waiting; returns the count taken,
// 0 when it takes nothing now or fails (the caller's queue then takes the
// bytes and reports the failure).
long long WriteNow(long long handle, std::span<const char> bytes);
