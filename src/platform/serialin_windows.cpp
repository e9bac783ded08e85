#include <windows.h>

#include <io.h>

#include <cstdio>

#include "runtime.h"
#include "serialdevice.h"
#include "serialin.h"

namespace {

volatile LONG interrupted = 0;

BOOL WINAPI onConsoleEvent(DWORD event)
{
    InterlockedExchange(&interrupted, 1);
    // A closed console window ends the process once this returns: give the
    // main thread the moment it needs to write the recording.
    if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) Sleep(3000);
    return TRUE;
}

std::string systemReason(DWORD error)
{
    wchar_t* text = nullptr;
    DWORD chars = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                     FORMAT_MESSAGE_IGNORE_INSERTS,
                                 nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    while (chars > 0 && (text[chars - 1] == L'\n' || text[chars - 1] == L'\r' || text[chars - 1] == L'.')) --chars;
    std::string reason;
    if (chars > 0) {
        int size = WideCharToMultiByte(CP_UTF8, 0, text, int(chars), nullptr, 0, nullptr, nullptr);
        reason.assign(size_t(size > 0 ? size : 0), '\0');
        if (size > 0) WideCharToMultiByte(CP_UTF8, 0, text, int(chars), reason.data(), size, nullptr, nullptr);
    }
    if (text) LocalFree(text);
    return reason.empty() ? "error " + std::to_string(error) : reason;
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

std::wstring wide(const std::string& utf8)
{
    int size = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), nullptr, 0);
    std::wstring text(size_t(size > 0 ? size : 0), L'\0');
    if (size > 0) MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), text.data(), size);
    return text;
}

// 8N1 at the format's rate, no flow control; a read returns what has arrived
// at once, or waits up to the timeout for the first byte.
int setLine(HANDLE port, int baud, std::string& reason)
{
    DCB dcb{};
    dcb.DCBlength = sizeof(dcb);
    if (!SetupComm(port, kComQueueSize, kComQueueSize) || !GetCommState(port, &dcb)) {
        reason = "not a serial device";
        return kComBadSettings;
    }
    dcb.BaudRate = DWORD(baud);
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.fBinary = TRUE;
    dcb.fParity = FALSE;
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fNull = FALSE;
    dcb.fAbortOnError = FALSE;
    if (!SetCommState(port, &dcb)) {
        reason = "not a serial device";
        return kComBadSettings;
    }
    return 0;
}

}  // namespace

int OpenSerialIn(SerialIn& in, const std::string& name, int baud, std::string& device, std::string& reason)
{
    // COM10 and above open only as \\.\COM10, which every number accepts.
    device = SystemDevicePath(name);
    if (int refused = CheckSerialDevice(device, reason)) return refused;
    if (device.empty()) {
        reason = systemReason(ERROR_FILE_NOT_FOUND);
        return kComNotFound;
    }
    HANDLE port = CreateFileW(wide(device).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (port == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        reason = systemReason(error);
        return openResult(error);
    }
    if (int refused = setLine(port, baud, reason)) {
        CloseHandle(port);
        return refused;
    }
    PurgeComm(port, PURGE_RXCLEAR);
    in.handle = reinterpret_cast<long long>(port);
    return 0;
}

long long ReadSerialIn(SerialIn& in, std::span<char> buffer, int timeoutMs, std::string& reason)
{
    HANDLE port = reinterpret_cast<HANDLE>(in.handle);
    // MAXDWORD with a multiplier of MAXDWORD: return at once with what is
    // there, else wait up to the constant for the first byte.
    COMMTIMEOUTS timeouts{MAXDWORD, MAXDWORD, DWORD(timeoutMs), 0, 0};
    DWORD read = 0;
    if (!SetCommTimeouts(port, &timeouts) || !ReadFile(port, buffer.data(), DWORD(buffer.size()), &read, nullptr)) {
        const DWORD error = GetLastError();
        // Ctrl-C can cut a wait short; everything else is the port lost
        // (a pulled USB adapter gives one of several codes).
        if (error == ERROR_OPERATION_ABORTED && Interrupted()) return 0;
        reason = systemReason(error);
        return -1;
    }
    return (long long)read;
}

void CloseSerialIn(SerialIn& in)
{
    if (in.handle < 0) return;
    CloseHandle(reinterpret_cast<HANDLE>(in.handle));
    in.handle = -1;
}

void CatchInterrupts() { SetConsoleCtrlHandler(onConsoleEvent, TRUE); }

bool Interrupted() { return InterlockedCompareExchange(&interrupted, 0, 0) != 0; }

bool OutputIsTerminal() { return _isatty(_fileno(stdout)) != 0; }
