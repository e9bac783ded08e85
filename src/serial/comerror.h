// The words of the "COM Error" box for an open result: the program's box and
// quorvex-record's console say the same about a port that will not open.
#pragma once

#include <string>
#include <string_view>

// The box's text for an open result; reason is the system's, for the codes
// that have no text of their own.
std::string ComOpenMessage(int code, std::string_view reason);

// Its detailed text: which device the port is and what the system said.
// com is the port as the user chose it ("COM3"), or empty for a device named
// by its path; device is empty when the port is no device at all. Bytes of
// the device's name that are not UTF-8 are written \xE4.
std::string ComOpenDetail(int code, std::string_view com, const std::string& device, std::string_view reason);
