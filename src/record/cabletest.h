// quorvex-record --cable-test PORT_A [PORT_B]: what a cable does, found by
// sending a pattern each way at the rates the devices use. Between two ports:
// crossed (null-modem, what the station needs), straight or carrying nothing,
// one way only, or changing what it carries. One port with pins 2 and 3
// joined at the cable's far end: a loopback test of the adapter and cable.
#pragma once

#include <vector>

#include "ports.h"

// Prints what it found. Returns the exit code: 0 the cable is crossed (or the
// loopback carries) at every rate, 1 otherwise, 2 one port given twice, 3 a
// port would not open.
int CableTest(const std::vector<PortChoice>& ports);
