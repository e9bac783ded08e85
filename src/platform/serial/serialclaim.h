// Opening a serial device so that no other program has it meanwhile, as each
// system allows. The program's ports and the recorder's come through here.
// One file per system, chosen by the build.
#pragma once

#include <string>

#include "serialio.h"

#ifdef _WIN32

#include <windows.h>

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

// Puts line on an open port whose settings were read into dcb: no flow control
// of any kind, DTR and RTS on. False when the device refuses.
bool SetLineSettings(HANDLE port, DCB dcb, const SerialLine& line);

#else

// On Unix: not while another program's lock file names a live process, nor
// while another opener holds the device itself. That exclusion is keyed on
// the device, not its name (an exclusive flock on the open device, which
// every name of one device shares and root does not pass), and the terminal's
// exclusive mode keeps out other openers that take no flock (not on a
// pseudo-terminal, which keeps the mark after its holder has ended). Who holds
// a refused device is who has it open (as fuser finds them); a mark that no
// live process holds is taken over.
struct SerialClaim {
    int fd = -1;
    std::string lockFile;  // this process's lock, removed at release; may be empty
};

enum class SerialAccess { Read, ReadWrite };

// Opens device non-blocking with the line settings (raw, no flow control, the
// receiver on), holds it and writes this process's lock file. Returns 0, or an
// open result of runtime.h with the reason in words (the holder named where
// a lock file tells).
int ClaimSerialDevice(const std::string& device, SerialAccess access, const SerialLine& line, SerialClaim& claim,
                      std::string& reason);

void ReleaseSerialDevice(SerialClaim& claim);

#endif
