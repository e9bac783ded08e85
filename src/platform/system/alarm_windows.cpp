// Alarms on Windows: a high-resolution waitable timer (Windows 10 1803 and
// later; an ordinary one elsewhere, and under Wine where that is refused),
// watched by the event loop.
#include <windows.h>

#include <QWinEventNotifier>

#include <map>
#include <memory>

#include "../runtime.h"

#ifndef CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
#define CREATE_WAITABLE_TIMER_HIGH_RESOLUTION 0x00000002
#endif

namespace {

struct Alarm {
    HANDLE timer = nullptr;
    std::unique_ptr<QWinEventNotifier> notifier;
    AlarmFired fired = nullptr;
    void* data = nullptr;
};

std::map<int, Alarm>& alarms()
{
    static std::map<int, Alarm> all;
    return all;
}

int nextAlarm = 1;

}  // namespace

int StartAlarm(AlarmFired fired, void* data)
{
    HANDLE timer = CreateWaitableTimerExW(nullptr, nullptr, CREATE_WAITABLE_TIMER_HIGH_RESOLUTION, TIMER_ALL_ACCESS);
    if (!timer) timer = CreateWaitableTimerExW(nullptr, nullptr, 0, TIMER_ALL_ACCESS);
    if (!timer) return -1;
    const int handle = nextAlarm++;
    Alarm& alarm = alarms()[handle];
    alarm.timer = timer;
    alarm.fired = fired;
    alarm.data = data;
    alarm.notifier = std::make_unique<QWinEventNotifier>(timer);
    QObject::connect(alarm.notifier.get(), &QWinEventNotifier::activated, [handle] {
        auto it = alarms().find(handle);
        if (it != alarms().end()) it->second.fired(it->second.data);
    });
    return handle;
}

void SetAlarm(int handle, std::chrono::steady_clock::time_point at)
{
    auto it = alarms().find(handle);
    if (it == alarms().end()) return;
    // Waitable timers take an absolute time on the wall clock, which may be
    // set; a relative one (negative, in 100 ns) follows the monotonic clock.
    const auto left = std::chrono::duration_cast<std::chrono::nanoseconds>(at - std::chrono::steady_clock::now());
    LARGE_INTEGER due;
    due.QuadPart = -std::max<long long>(1, left.count() / 100);
    SetWaitableTimer(it->second.timer, &due, 0, nullptr, nullptr, FALSE);
}

void StopAlarm(int handle)
{
    auto it = alarms().find(handle);
    if (it == alarms().end()) return;
    CancelWaitableTimer(it->second.timer);
    it->second.notifier->setEnabled(false);
    it->second.notifier.release()->deleteLater();
    CloseHandle(it->second.timer);
    alarms().erase(it);
}
