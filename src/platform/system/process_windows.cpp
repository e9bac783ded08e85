// The process on Windows: its arguments, a console program's interrupts and
// its terminal, and the sign that it runs.
#include <windows.h>

#include <io.h>
#include <shellapi.h>

#include <cstdio>

#include "../runtime.h"
#include "process.h"
#include "widetext.h"

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

}  // namespace

// A GUI process on Windows is ended through its window; nothing to catch.
void QuitOnTerminationSignals() {}
bool TerminationRequested() { return false; }
bool TerminationPending() { return false; }

void CatchInterrupts() { SetConsoleCtrlHandler(onConsoleEvent, TRUE); }

bool Interrupted() { return InterlockedCompareExchange(&interrupted, 0, 0) != 0; }

bool OutputIsTerminal() { return _isatty(_fileno(stdout)) != 0; }

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

// The installer opens this name (OpenMutexW) to learn whether a copy runs in
// the user's session. Every copy opens the same mutex without owning it; the
// handle is never closed, so that the system closes it when the process ends.
void MarkRunning() { CreateMutexW(nullptr, FALSE, L"Local\\Quorvex.Running"); }
