// Reading a serial device from a console program (quorvex-record): the port
// opened for input only, and the console it runs in. One file per system.
#pragma once

#include <span>
#include <string>

struct SerialIn {
    long long handle = -1;
    std::string lockFile;  // where the system has lock files: this process's, removed at the close
};

// Opens the device that name means (as the COM mapping or the user gives it)
// for reading: 8 data bits, no parity, 1 stop bit, no flow control, at baud,
// and held so that no other program opens it meanwhile, by the rules the
// program's own ports follow (a port another program holds is refused, the
// holder named). Returns 0, or an open result of runtime.h with the system's
// words in reason; device is the path the name meant.
int OpenSerialIn(SerialIn& in, const std::string& name, int baud, std::string& device, std::string& reason);

// Waits at most timeoutMs for bytes, then reads what has arrived. Returns the
// count read (0: none came, or a console interrupt cut the wait short), or -1
// when the device has gone or fails, with the system's words in reason.
long long ReadSerialIn(SerialIn& in, std::span<char> buffer, int timeoutMs, std::string& reason);

void CloseSerialIn(SerialIn& in);

// Ctrl-C (and, where the system has them, a closed terminal or a termination
// request) sets a flag instead of ending the program, so that it can still
// write what it recorded.
void CatchInterrupts();
bool Interrupted();

// Whether standard output is a terminal a person watches.
bool OutputIsTerminal();
