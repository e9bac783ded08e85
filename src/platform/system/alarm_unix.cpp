// Alarms on Linux: a timerfd on the monotonic clock (the clock steady_clock
// reads), set to an absolute time, so that a wait is as fine as the kernel
// allows and a late wake-up moves no deadline after it.
#include <sys/timerfd.h>
#include <unistd.h>

#include <QSocketNotifier>

#include <cstdint>
#include <map>
#include <memory>

#include "../runtime.h"

namespace {

struct Alarm {
    int fd = -1;
    std::unique_ptr<QSocketNotifier> notifier;
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
    const int fd = ::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    if (fd < 0) return -1;
    const int handle = nextAlarm++;
    Alarm& alarm = alarms()[handle];
    alarm.fd = fd;
    alarm.fired = fired;
    alarm.data = data;
    alarm.notifier = std::make_unique<QSocketNotifier>(qintptr(fd), QSocketNotifier::Read);
    QObject::connect(alarm.notifier.get(), &QSocketNotifier::activated, [handle] {
        auto it = alarms().find(handle);
        if (it == alarms().end()) return;
        std::uint64_t expirations = 0;
        if (::read(it->second.fd, &expirations, sizeof expirations) != sizeof expirations) return;
        it->second.fired(it->second.data);
    });
    return handle;
}

void SetAlarm(int handle, std::chrono::steady_clock::time_point at)
{
    auto it = alarms().find(handle);
    if (it == alarms().end()) return;
    const auto since = at.time_since_epoch();
    const long long ns = std::chrono::duration_cast<std::chrono::nanoseconds>(since).count();
    itimerspec when{};
    // A time already past fires at once; zero would disarm the timer.
    when.it_value.tv_sec = ns > 0 ? ns / 1000000000 : 0;
    when.it_value.tv_nsec = ns > 0 ? ns % 1000000000 : 1;
    ::timerfd_settime(it->second.fd, TFD_TIMER_ABSTIME, &when, nullptr);
}

void StopAlarm(int handle)
{
    auto it = alarms().find(handle);
    if (it == alarms().end()) return;
    it->second.notifier->setEnabled(false);
    // Freed from the event loop: it may be stopped from inside its own call.
    it->second.notifier.release()->deleteLater();
    ::close(it->second.fd);
    alarms().erase(it);
}
