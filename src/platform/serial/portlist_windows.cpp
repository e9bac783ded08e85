// The serial ports Windows has, from the registry's device map: one value per
// port, its data the port's name ("COM3"), its name the driver's device.
#include <windows.h>

#include "../system/widetext.h"
#include "comnumbers.h"

std::vector<PresentPort> PresentPorts()
{
    std::vector<PresentPort> ports;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) != ERROR_SUCCESS)
        return ports;
    for (DWORD index = 0;; ++index) {
        wchar_t name[256];
        wchar_t data[256];
        DWORD nameChars = 256, dataBytes = sizeof(data), type = 0;
        LONG result = RegEnumValueW(key, index, name, &nameChars, nullptr, &type,
                                    reinterpret_cast<BYTE*>(data), &dataBytes);
        if (result == ERROR_NO_MORE_ITEMS) break;
        if (result != ERROR_SUCCESS || type != REG_SZ) continue;
        DWORD dataChars = dataBytes / sizeof(wchar_t);
        while (dataChars > 0 && data[dataChars - 1] == L'\0') --dataChars;
        ports.push_back({Utf8(data, dataChars), Utf8(name, nameChars)});
    }
    RegCloseKey(key);
    return ports;
}
