// What arrived when it is not the format's, in the user's terms: another
// device of the catalogue, or bytes that are no device's (a wrong baud rate
// reads as noise), and what to try next.
#pragma once

#include <string>
#include <string_view>

#include "../app/formats.h"

// "these are not Velmara blender records: the baud rate is likely wrong (try
// --baud 9600), or another device is on this port". baud: the rate recorded at.
std::string NotTheDevice(const DeviceFormat& format, int baud, std::string_view firstBytes);

// "Velmara blender records", "SAE J1587 messages"
std::string WhatItIsNot(const DeviceFormat& format);
