// The program's own folder, which is also where the user's recordings go: the
// per-user install makes it the user's. Windows file names are UTF-16, and
// UTF-8 holds every one of them. Read from the system, not from Qt, so that
// the recorder, which runs without Qt's application object, finds it too.
#include <windows.h>

#include <filesystem>
#include <string>

#include "../runtime.h"

std::string GetProjectDir()
{
    std::wstring exe(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, exe.data(), DWORD(exe.size()));
        if (length == 0) return {};
        if (length < exe.size()) {
            exe.resize(length);
            break;
        }
        exe.resize(exe.size() * 2);  // a long path: try a larger buffer
    }
    const std::u8string folder = std::filesystem::path(exe).parent_path().u8string();
    return std::string(folder.begin(), folder.end());
}

std::string GetRecordingsDir() { return GetProjectDir(); }

std::string MakeRecordingsDir() { return {}; }
