// The process on Windows: its arguments, a console program's interrupts and
// its terminal, and the sign that it runs.
#include <windows.h>

#include <io.h>
#include <shellapi.h>

#include <QCoreApplication>
#include <QMetaObject>

#include <atomic>
#include <cstdio>
#include <cstdlib>

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

// A console program that streams: the console's events end its event loop.
volatile LONG terminationPending = 0;
bool terminationRequested = false;
std::atomic<bool> ended{false};

// Runs on a thread of its own, which the system makes for the event. Ctrl-C
// and Ctrl-Break end the event loop; for a console closed, a logoff or a
// shutdown the process ends as soon as this returns, so it waits (the system
// gives about five seconds) until the program has closed its ports.
BOOL WINAPI onQuitEvent(DWORD event)
{
    InterlockedExchange(&terminationPending, 1);
    if (QCoreApplication* application = QCoreApplication::instance()) {
        QMetaObject::invokeMethod(
            application,
            [] {
                terminationRequested = true;
                QCoreApplication::exit(0);
            },
            Qt::QueuedConnection);
    }
    if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) return TRUE;
    for (int waited = 0; waited < 4500 && !ended; waited += 50) Sleep(50);
    return TRUE;
}

}  // namespace

// A GUI process on Windows is ended through its window; nothing to catch.
void QuitOnTerminationSignals() {}
bool TerminationRequested() { return terminationRequested; }
bool TerminationPending() { return InterlockedCompareExchange(&terminationPending, 0, 0) != 0; }

void QuitOnConsoleEvents()
{
    SetConsoleCtrlHandler(onQuitEvent, TRUE);
    std::atexit([] { ended = true; });
}

int TerminalColumns()
{
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (!GetConsoleScreenBufferInfo(GetStdHandle(STD_OUTPUT_HANDLE), &info)) return 80;
    return info.srWindow.Right - info.srWindow.Left + 1;
}

// The console draws the escapes that redraw lines in place, and UTF-8.
void PrepareTerminal()
{
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    if (GetConsoleMode(out, &mode)) SetConsoleMode(out, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
    SetConsoleOutputCP(CP_UTF8);
}

void CatchInterrupts() { SetConsoleCtrlHandler(onConsoleEvent, TRUE); }

bool Interrupted() { return InterlockedCompareExchange(&interrupted, 0, 0) != 0; }

bool OutputIsTerminal() { return _isatty(_fileno(stdout)) != 0; }

long long ProcessNumber() { return (long long)GetCurrentProcessId(); }

bool ProcessRunning(long long number)
{
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, DWORD(number));
    // Refused is another user's process: it runs.
    if (!process) return GetLastError() == ERROR_ACCESS_DENIED;
    DWORD code = 0;
    const bool running = GetExitCodeProcess(process, &code) && code == STILL_ACTIVE;
    CloseHandle(process);
    return running;
}

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
