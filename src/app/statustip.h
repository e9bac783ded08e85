// The status text's tooltip: what a device sends right now and where, or why
// it sends nothing. Composed only when the tooltip is about to show.
#pragma once

#include <string>

struct Device;

std::string StatusTip(Device& device);
// The window's: its own device's.
std::string StatusTip();

// "COM3 (/dev/ttyUSB0)"; "COM3" where the device is the system's own COM3;
// a name that is not UTF-8 shown as the details show it.
std::string PortShownName(int port);
// The port a device sends to: its COM number as above, or the name it was given.
std::string PortShownName(const Device& device);

// A count as the tooltip writes it: "12,345".
std::string Grouped(long long n);

// Counts the text record just read: the tooltip's record number runs from 1
// at each open of the file, so nothing has to read the file to find it.
void NoteTextRecord(Device& device);
