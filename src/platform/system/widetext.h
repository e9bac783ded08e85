// Windows' text, for the files that call the system: its names are UTF-16,
// the program's are UTF-8, which holds every one of them.
#pragma once

#include <windows.h>

#include <string>

// Windows' own text for an error code, in UTF-8, without the final period.
std::string SystemWords(DWORD error);

std::wstring WidePath(const std::string& utf8);
std::string Utf8(const wchar_t* text, std::size_t chars);
