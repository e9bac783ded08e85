// What the two Windows serial files (the program's writer, the recorder's
// reader) share: what an open's failure means, and Windows' own words for it.
#pragma once

#include <windows.h>

#include <string>

// CreateFileW's failure as an open result (-6 missing, -7 held or refused, or
// a code of our own).
int ComOpenResult(DWORD error);

// The open result for a device that opened but has no line settings: a COM
// number with nothing behind it (Wine opens a number mapped to a missing
// device) is not found; any other name is not a serial device.
int NoLineResult(const std::string& device, std::string& reason);

// Windows' own text for an error code, in UTF-8, without the final period.
std::string SystemWords(DWORD error);

std::wstring WidePath(const std::string& utf8);

struct SerialLine;
// Puts line on an open port whose settings were read into dcb: no flow control
// of any kind, DTR and RTS on. False when the device refuses.
bool SetLineSettings(HANDLE port, DCB dcb, const SerialLine& line);
