// The ports the recorder opens, named as the window's COM list numbers them
// (1 to 16) or by a device path; and that list, for --list.
#pragma once

#include <string>

#include "../platform/runtime.h"

// COM numbers of the window's COM list.
inline constexpr int kListedComPorts = 16;

struct PortChoice {
    int com = 0;          // a COM number of the list, -1 for one outside it, 0 when device names the port
    std::string device;   // the device path given
    std::string given;    // as the user wrote it
};

// Reads PORT as the user gave it: "3" or "COM3" (any case), else a device path.
PortChoice PortOf(const std::string& arg);

// Opens the port as the program would; on failure says why, in the words of
// its "COM Error" box. shown: "COM3 (/dev/ttyUSB0)", or the device.
bool OpenPort(const PortChoice& choice, int baud, SerialInUse use, SerialIn& port, std::string& shown);

// --list: each COM number of the list with the device behind it, as the
// window's COM list shows it on hover. Returns the exit code.
int ListPorts();
