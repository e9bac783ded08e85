#include "serialdevice.h"

std::string SystemComName(int port) { return "COM" + std::to_string(port); }

std::string SystemDevicePath(const std::string& name) { return name; }

// The system's own open says what a name is not.
int CheckSerialDevice(const std::string&, std::string&) { return 0; }

// Windows reports a resource error only when the device has gone.
bool DeviceHungUp(long long) { return true; }

// Overlapped writes are Qt's business on Windows: everything goes through its queue.
long long WriteNow(long long, std::span<const char>) { return 0; }

long long UnsentInDriver(long long) { return 0; }

void WaitWritable(long long, int) {}
