// The device behind a COM port number, chosen by the build for its system.
#pragma once

#include <string>

// QUORVEX_COM<n> when set, otherwise the system's name for port n.
std::string ComDeviceName(int port);
