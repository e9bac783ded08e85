#include <windows.h>

#include <shellapi.h>

#include "commandline.h"
#include "win32port.h"

std::vector<std::string> CommandLineArguments(int argc, char* argv[])
{
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!wide) return {argv + 1, argv + argc};
    std::vector<std::string> arguments;
    for (int i = 1; i < count; ++i) arguments.push_back(Utf8(wide[i], wcslen(wide[i])));
    LocalFree(wide);
    return arguments;
}
