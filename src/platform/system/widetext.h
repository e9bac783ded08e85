// What the two Windows serial files (the program's writer, the recorder's
// reader) share: the open, held for this process alone, what its failure
// means, and Windows' own words for it.
#pragma once

#include <windows.h>

#include <string>

// Opens device (a path as SystemDevicePath gives it) with access and flags,
// and reads its line settings into dcb. The device is first claimed in the
// session, by its name: while one process has it open through here, another
// is refused with kComCannotOpen and the holder named in reason, and the
// device is not even opened (an open may change its modem lines). Real
// drivers refuse a second open themselves; Wine's do not. Returns the handle,
// or INVALID_HANDLE_VALUE with an open result and the reason.
HANDLE OpenWin32Port(const std::string& device, DWORD access, DWORD flags, DCB& dcb, int& result,
                     std::string& reason);

// Closes a port OpenWin32Port opened and gives up its claim. The system gives
// up a claim whose process ends, however it ends.
void CloseWin32Port(HANDLE port);

// Whether this process has had device open: a COM number that has no port now
// but had one is a port that has gone, not a number with no port.
bool HadWin32Port(const std::string& device);

// Windows' own text for an error code, in UTF-8, without the final period.
std::string SystemWords(DWORD error);

std::wstring WidePath(const std::string& utf8);
std::string Utf8(const wchar_t* text, std::size_t chars);

struct SerialLine;
// Puts line on an open port whose settings were read into dcb: no flow control
// of any kind, DTR and RTS on. False when the device refuses.
bool SetLineSettings(HANDLE port, DCB dcb, const SerialLine& line);
