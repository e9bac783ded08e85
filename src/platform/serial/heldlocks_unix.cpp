// This process's lock files go with it, however it ends. A clean end closes
// its ports; exit() called from inside the event loop (Qt's, when the display
// goes away) runs the exit handlers, any of which may be the one that never
// returns; a crash or a fatal signal runs none. So the paths are kept where a
// signal handler may read them without allocating, and the files are removed
//  - first thing in an exit() from the thread that took them: that thread's
//    thread_local objects are destroyed before any static object and before
//    any exit handler runs;
//  - from a handler of the signals that end a process by default, which then
//    lets the signal take its course (a core dump still comes), or hands it
//    to the handler that was there before (a sanitizer's, a crash reporter's).
// Exclusion does not lapse with the file: the flock on the open device holds
// until the process has gone.
#include <signal.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cstring>
#include <string>

#include "portlock.h"

namespace {

// Lock file paths are the lock folder and "LCK.." and a device's file name.
constexpr std::size_t kLongestPath = 320;
constexpr std::size_t kMostHeld = 128;

struct HeldLock {
    char path[kLongestPath];
    volatile sig_atomic_t held;  // set once path is whole, cleared before it changes
};
std::array<HeldLock, kMostHeld> heldLocks{};

void removeHeldLocks()
{
    for (HeldLock& lock : heldLocks)
        if (lock.held) ::unlink(lock.path);
}

constexpr int kFatalSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT, SIGQUIT, SIGSYS,
                                 SIGUSR1, SIGUSR2, SIGALRM, SIGXCPU, SIGXFSZ};
struct sigaction previous[NSIG];

bool crash(int signal)
{
    return signal == SIGSEGV || signal == SIGBUS || signal == SIGILL || signal == SIGFPE || signal == SIGABRT;
}

void onFatalSignal(int signal, siginfo_t* info, void* context)
{
    removeHeldLocks();
    // A handler that was there first goes on to do what it does.
    const struct sigaction& before = previous[signal];
    if (before.sa_flags & SA_SIGINFO) {
        before.sa_sigaction(signal, info, context);
        return;
    }
    if (before.sa_handler != SIG_DFL && before.sa_handler != SIG_IGN) {
        before.sa_handler(signal);
        return;
    }
    ::sigaction(signal, &before, nullptr);
    // A fault happens again as the handler returns, now with the default
    // action; any other signal is raised again.
    const bool fault = signal == SIGSEGV || signal == SIGBUS || signal == SIGILL || signal == SIGFPE;
    if (!fault || info->si_code <= 0) ::raise(signal);
}

void catchFatalSignals()
{
    for (int signal : kFatalSignals) {
        struct sigaction now {};
        // A signal the program handles or ignores stays its own; but a crash
        // caught by a handler before (a sanitizer's, a crash reporter's)
        // still removes the files, and then goes to that handler.
        if (::sigaction(signal, nullptr, &now) != 0) continue;
        const bool handled = (now.sa_flags & SA_SIGINFO) || now.sa_handler != SIG_DFL;
        const bool ignored = !(now.sa_flags & SA_SIGINFO) && now.sa_handler == SIG_IGN;
        if (ignored || (handled && !crash(signal))) continue;
        struct sigaction action {};
        action.sa_sigaction = onFatalSignal;
        // On the alternate stack if the handler before was (a stack overflow).
        action.sa_flags = SA_SIGINFO | SA_NODEFER | (now.sa_flags & SA_ONSTACK);
        sigemptyset(&action.sa_mask);
        ::sigaction(signal, &action, &previous[signal]);
    }
}

// Destroyed as the thread that took the locks (the event loop's: ports are
// opened from there alone) ends or calls exit().
struct RemovedAtExit {
    ~RemovedAtExit() { removeHeldLocks(); }
};

}  // namespace

void NoteHeldLock(const std::string& path)
{
    static const bool caught = (catchFatalSignals(), true);
    (void)caught;
    thread_local RemovedAtExit removed;
    (void)removed;
    if (path.size() >= kLongestPath) return;
    for (HeldLock& lock : heldLocks) {
        if (lock.held) continue;
        std::memcpy(lock.path, path.c_str(), path.size() + 1);
        std::atomic_signal_fence(std::memory_order_seq_cst);
        lock.held = 1;
        return;
    }
}

void ForgetHeldLock(const std::string& path)
{
    for (HeldLock& lock : heldLocks)
        if (lock.held && path == lock.path) lock.held = 0;
}
