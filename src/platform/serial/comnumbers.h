// How the serial ports a machine has become COM numbers, the way Windows
// numbers them: built-in ports first, then adapters.
#pragma once

#include <string>
#include <vector>

struct PresentPort {
    std::string device;       // "/dev/ttyUSB0"
    std::string description;  // "FT232R USB UART (FTDI)"; may be empty
};

// Orders ports into COM numbers: ttyS* first, then ttyUSB*, ttyACM*, then the
// rest, each in numeric order (ttyUSB2 before ttyUSB10). COM n is element n-1.
std::vector<PresentPort> NumberPorts(std::vector<PresentPort> ports);

// The device COM n was given, and whether it is present now; none: empty.
// Numbers stay put while the program runs, as Windows keeps a COM number with
// its adapter: the ports present at the first call are numbered in the order
// above; a device that goes keeps its number, empty until it comes back; a
// device that comes takes the lowest number not given to any.
struct NumberedPort {
    std::string device;
    bool present = false;
};
NumberedPort NumberedDevice(int port);

// The serial ports the system lists now (one file per system); opens none.
std::vector<PresentPort> PresentPorts();

// Where the present ports come from: the system's list unless a test gives its own.
using PortLister = std::vector<PresentPort> (*)();
// Numbers afresh from the next listing, as at start-up.
void SetPortLister(PortLister lister);  // nullptr: the system's list again
std::vector<PresentPort> ListedPorts();
