// Opening a serial device on Unix so that no other program has it meanwhile:
// not while another program's lock file names a live process, nor while
// another opener holds the device itself. That exclusion is keyed on the
// device, not its name (an exclusive flock on the open device, which every
// name of one device shares and root does not pass), and the terminal's
// exclusive mode keeps out other openers that take no flock. The program's
// ports and the recorder's come through here.
#pragma once

#include <string>

#include "serialio.h"

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
