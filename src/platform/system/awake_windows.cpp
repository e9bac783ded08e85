// Staying awake on Windows. SetThreadExecutionState keeps the system out of
// idle sleep while the calling thread says so (the event loop's thread: every
// call here comes from it); ES_CONTINUOUS alone gives that up.
//
// While streaming the process also opts out of power throttling: since
// Windows 11 a process whose windows are minimized or hidden may be run at low
// power (EcoQoS) and have its timer-resolution requests ignored, and Qt's
// precise timers rely on that resolution. SetProcessInformation is looked up
// at run time (older systems lack it) and a refusal changes nothing (Wine
// refuses this class).
#include <windows.h>

#include "../runtime.h"

namespace {

using SetProcessInformationFn = BOOL(WINAPI*)(HANDLE, PROCESS_INFORMATION_CLASS, LPVOID, DWORD);

SetProcessInformationFn setProcessInformation()
{
    static const auto function = reinterpret_cast<SetProcessInformationFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetProcessInformation")));
    return function;
}

// Throttling off for execution speed and timer resolution, or (0, 0) the
// system's own choice again.
void throttle(bool allowed)
{
    SetProcessInformationFn set = setProcessInformation();
    if (!set) return;
    PROCESS_POWER_THROTTLING_STATE state{};
    state.Version = PROCESS_POWER_THROTTLING_CURRENT_VERSION;
    state.ControlMask =
        allowed ? 0 : PROCESS_POWER_THROTTLING_EXECUTION_SPEED | PROCESS_POWER_THROTTLING_IGNORE_TIMER_RESOLUTION;
    state.StateMask = 0;
    set(GetCurrentProcess(), ProcessPowerThrottling, &state, sizeof state);
}

bool kept = false;

}  // namespace

void KeepSystemAwake(std::string_view /*why*/)
{
    if (kept) return;
    kept = true;
    SetThreadExecutionState(ES_CONTINUOUS | ES_SYSTEM_REQUIRED);
    throttle(false);
}

void LetSystemSleep()
{
    if (!kept) return;
    kept = false;
    SetThreadExecutionState(ES_CONTINUOUS);
    throttle(true);
}
