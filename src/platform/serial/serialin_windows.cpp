// A console program's serial input on Windows (quorvex-record): the port
// opened for reading (for a cable test or a CAN gateway's commands,
// writing too), through the claim the program's ports use.
#include <windows.h>

#include "../runtime.h"
#include "../system/widetext.h"
#include "serialclaim.h"
#include "serialdevice.h"
#include "serialio.h"

namespace {

// 8N1 at the format's rate, no flow control; a read returns what has arrived
// at once, or waits up to the timeout for the first byte.
int setLine(HANDLE port, const DCB& dcb, int baud, std::string& reason)
{
    if (!SetupComm(port, kComQueueSize, kComQueueSize)) {
        reason = SystemWords(GetLastError());
        return kComBadSettings;
    }
    if (!SetLineSettings(port, dcb, SerialLine{baud})) {
        reason = "not a serial device";
        return kComBadSettings;
    }
    return 0;
}

}  // namespace

int OpenSerialIn(SerialIn& in, const std::string& name, int baud, std::string& device, std::string& reason,
                 SerialInUse use)
{
    // COM10 and above open only as \\.\COM10, which every number accepts.
    device = SystemDevicePath(name);
    // The program's own checks and claim: the same refusals, in the same words.
    if (int refused = CheckSerialDevice(device, reason)) return refused;
    DCB dcb{};
    int result = 0;
    HANDLE port = OpenWin32Port(device, use == SerialInUse::Read ? GENERIC_READ : GENERIC_READ | GENERIC_WRITE, 0,
                                dcb, result, reason);
    if (port == INVALID_HANDLE_VALUE) return result;
    if (int refused = setLine(port, dcb, baud, reason)) {
        CloseWin32Port(port);
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
        reason = SystemWords(error);
        return -1;
    }
    return (long long)read;
}

long long WriteSerialIn(SerialIn& in, std::span<const char> bytes, int timeoutMs, std::string& reason)
{
    HANDLE port = reinterpret_cast<HANDLE>(in.handle);
    // A total for the write: a port that cannot send returns what it took by
    // then. Each read sets its own timeouts again.
    COMMTIMEOUTS timeouts{MAXDWORD, 0, 0, 0, DWORD(timeoutMs)};
    DWORD written = 0;
    if (!SetCommTimeouts(port, &timeouts) || !WriteFile(port, bytes.data(), DWORD(bytes.size()), &written, nullptr)) {
        const DWORD error = GetLastError();
        if (error == ERROR_OPERATION_ABORTED && Interrupted()) return (long long)written;
        reason = SystemWords(error);
        return -1;
    }
    return (long long)written;
}

void CloseSerialIn(SerialIn& in)
{
    if (in.handle < 0) return;
    CloseWin32Port(reinterpret_cast<HANDLE>(in.handle));
    in.handle = -1;
}
