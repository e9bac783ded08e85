// The process on Unix: the requests to end it, its arguments and its terminal.
#include <QCoreApplication>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include "../runtime.h"
#include "process.h"

namespace {

int wakeFds[2] = {-1, -1};
bool terminationRequested = false;
volatile std::sig_atomic_t terminationPending = 0;
volatile std::sig_atomic_t interrupted = 0;

// Only async-signal-safe work here: the event loop does the rest.
void onSignal(int)
{
    terminationPending = 1;
    const char byte = 1;
    [[maybe_unused]] ssize_t n = ::write(wakeFds[1], &byte, 1);
}

void onInterrupt(int) { interrupted = 1; }

}  // namespace

void QuitOnTerminationSignals()
{
    if (wakeFds[0] >= 0 || ::pipe(wakeFds) != 0) return;
    for (int fd : wakeFds) ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    ::fcntl(wakeFds[1], F_SETFL, O_NONBLOCK);
    auto* notifier = new QSocketNotifier(wakeFds[0], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, notifier, [] {
        char byte;
        [[maybe_unused]] ssize_t n = ::read(wakeFds[0], &byte, 1);
        // Ends the innermost loop, which may be a box's: the flag makes the
        // request hold for the main loop too.
        terminationRequested = true;
        QCoreApplication::exit(0);
    });
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal, &action, nullptr);
    // A display that goes away mid-write (a logout, a dropped remote desktop)
    // would end the program by SIGPIPE, leaving its lock files behind; ignored,
    // the write fails and Qt ends the program through exit(), which closes the ports.
    std::signal(SIGPIPE, SIG_IGN);
}

bool TerminationRequested() { return terminationRequested; }
bool TerminationPending() { return terminationPending != 0; }

void CatchInterrupts()
{
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no restart: a wait in poll ends at once
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) ::sigaction(signal, &action, nullptr);
}

bool Interrupted() { return interrupted != 0; }

bool OutputIsTerminal() { return ::isatty(STDOUT_FILENO) == 1; }

long long ProcessNumber() { return (long long)::getpid(); }

bool ProcessRunning(long long number)
{
    if (number <= 0 || pid_t(number) != number) return false;  // never a process group
    return ::kill(pid_t(number), 0) == 0 || errno == EPERM;
}

std::vector<std::string> CommandLineArguments(int argc, char* argv[]) { return {argv + 1, argv + argc}; }

// Packages on Linux are replaced by the package manager, which needs no sign.
void MarkRunning() {}

int TerminalColumns()
{
    winsize size{};
    return ::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0 ? size.ws_col : 80;
}

// Terminals here take the escapes and UTF-8 as they are.
void PrepareTerminal() {}

// Ctrl-C and a closed terminal are signals here, which QuitOnTerminationSignals catches.
void QuitOnConsoleEvents() {}
