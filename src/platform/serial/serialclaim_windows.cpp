// Serial devices on Windows, opened and held for this process alone: the
// program's ports and the recorder's come through here.
#include "serialclaim.h"

#include <algorithm>
#include <cwchar>
#include <map>
#include <set>

#include "../runtime.h"
#include "../system/widetext.h"

namespace {

// What a claim records for the process that comes second.
struct Holder {
    DWORD pid;
    wchar_t program[64];
};

// The claims of the ports open through here, by port; and the devices this
// process has had open, by their claim's key.
std::map<HANDLE, HANDLE>& claims()
{
    static std::map<HANDLE, HANDLE> held;
    return held;
}

std::set<std::wstring>& hadPorts()
{
    static std::set<std::wstring> had;
    return had;
}

// One key per device however it is written: \\.\COM3, COM3 and com3 are one
// port. An object's name holds no backslash after its namespace, and is at
// most MAX_PATH long: a longer device name is keyed by its hash.
std::wstring claimKey(const std::string& device)
{
    std::wstring key = WidePath(device);
    if (key.rfind(L"\\\\.\\", 0) == 0) key.erase(0, 4);
    CharUpperBuffW(key.data(), DWORD(key.size()));
    std::replace(key.begin(), key.end(), L'\\', L'/');
    if (key.size() <= 200) return key;
    unsigned long long hash = 14695981039346656037ull;  // FNV-1a
    for (wchar_t c : key) hash = (hash ^ unsigned(c)) * 1099511628211ull;
    return L"#" + std::to_wstring(hash);
}

std::string holderText(HANDLE claim)
{
    std::string text = "held by another copy of Quorvex";
    const auto* holder = static_cast<const Holder*>(MapViewOfFile(claim, FILE_MAP_READ, 0, 0, sizeof(Holder)));
    if (!holder) return text;
    // A claim taken a moment ago may not have its holder written yet.
    if (holder->pid != 0)
        text += " (" + Utf8(holder->program, wcsnlen(holder->program, 63)) + ", process " +
                std::to_string(holder->pid) + ")";
    UnmapViewOfFile(holder);
    return text;
}

void writeHolder(HANDLE claim)
{
    auto* holder = static_cast<Holder*>(MapViewOfFile(claim, FILE_MAP_WRITE, 0, 0, sizeof(Holder)));
    if (!holder) return;
    wchar_t path[MAX_PATH];
    const DWORD chars = GetModuleFileNameW(nullptr, path, MAX_PATH);
    const wchar_t* name = chars ? std::wcsrchr(path, L'\\') : nullptr;
    wcsncpy(holder->program, name ? name + 1 : L"", 63);
    holder->program[63] = L'\0';
    holder->pid = GetCurrentProcessId();
    UnmapViewOfFile(holder);
}

// The claim is a named memory section in the session, holding the holder's
// process: the system creates a name once, and the section lives as long as a
// handle to it, so a claim is never left behind by a process that ended.
// False when another process holds the device; claim is null when it could
// not be taken for another reason (the driver's own exclusion then guards).
bool takeClaim(const std::wstring& key, HANDLE& claim, std::string& reason)
{
    const std::wstring name = L"Local\\Quorvex-" + key;
    SetLastError(0);
    claim = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(Holder), name.c_str());
    const DWORD error = GetLastError();
    if (claim && error != ERROR_ALREADY_EXISTS) {
        writeHolder(claim);
        return true;
    }
    if (claim || error == ERROR_ACCESS_DENIED) {  // denied: held by another user's copy
        reason = claim ? holderText(claim) : "held by another copy of Quorvex";
        if (claim) CloseHandle(claim);
        claim = nullptr;
        return false;
    }
    return true;
}

int openResult(DWORD error)
{
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME: return kComNotFound;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION: return kComCannotOpen;
    default: return kComOtherError;
    }
}

// A device that opened but has no line settings. A COM number with nothing
// behind it is one (Wine opens a number mapped to a missing device): no port
// has that number, unless this process had it open, and then it has gone.
// Any other name is not a serial device.
int noLineResult(const std::string& device, std::string& reason)
{
    const bool comNumber = device.size() > 7 && _strnicmp(device.c_str(), "\\\\.\\COM", 7) == 0;
    if (!comNumber) {
        reason = "not a serial device";
        return kComBadSettings;
    }
    const bool had = HadWin32Port(device);
    reason = had ? "the port has gone" : "no serial port behind this number";
    return had ? kComNotFound : kComBadPortNumber;
}

}  // namespace

HANDLE OpenWin32Port(const std::string& device, DWORD access, DWORD flags, DCB& dcb, int& result,
                     std::string& reason)
{
    const std::wstring key = claimKey(device);
    HANDLE claim = nullptr;
    if (!takeClaim(key, claim, reason)) {
        result = kComCannotOpen;
        return INVALID_HANDLE_VALUE;
    }
    HANDLE port = CreateFileW(WidePath(device).c_str(), access, 0, nullptr, OPEN_EXISTING, flags, nullptr);
    if (port == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        result = openResult(error);
        reason = SystemWords(error);
    } else {
        dcb = DCB{};
        dcb.DCBlength = sizeof(dcb);
        if (GetCommState(port, &dcb)) {
            claims()[port] = claim;
            hadPorts().insert(key);
            result = 0;
            return port;
        }
        result = noLineResult(device, reason);
        CloseHandle(port);
    }
    if (claim) CloseHandle(claim);
    return INVALID_HANDLE_VALUE;
}

void CloseWin32Port(HANDLE port)
{
    CloseHandle(port);
    if (auto it = claims().find(port); it != claims().end()) {
        if (it->second) CloseHandle(it->second);
        claims().erase(it);
    }
}

bool HadWin32Port(const std::string& device) { return hadPorts().count(claimKey(device)) != 0; }

bool SetLineSettings(HANDLE port, DCB dcb, const SerialLine& line)
{
    dcb.BaudRate = DWORD(line.baud);
    dcb.ByteSize = BYTE(line.dataBits);
    dcb.Parity = line.parity == Parity::None ? NOPARITY : line.parity == Parity::Odd ? ODDPARITY : EVENPARITY;
    dcb.StopBits = line.stopBits == 2 ? TWOSTOPBITS : ONESTOPBIT;
    dcb.fBinary = TRUE;
    dcb.fParity = line.parity != Parity::None;
    dcb.fOutxCtsFlow = dcb.fOutxDsrFlow = dcb.fDsrSensitivity = FALSE;
    dcb.fOutX = dcb.fInX = dcb.fErrorChar = dcb.fNull = dcb.fAbortOnError = FALSE;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    return SetCommState(port, &dcb) != 0;
}
