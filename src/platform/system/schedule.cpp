// Schedules: a call every interval from one start, on absolute deadlines
// (start + n x interval), so that a late call does not move the ones after it.
#include <QTimer>

#include <chrono>
#include <map>
#include <memory>
#include <thread>

#include "../runtime.h"

namespace {

using Clock = std::chrono::steady_clock;
using Millis = std::chrono::milliseconds;

// Qt's timers count whole milliseconds, so a wait for the time left, rounded
// up, ends anywhere in the millisecond after the deadline: half a millisecond
// late on average, for every device of a site. Where a sleep ends within the
// kernel's timer slack (50 us on Linux), the wait ends at the last whole
// millisecond before the deadline instead and the rest is slept, the event
// loop held for under a millisecond. Windows' Sleep counts whole timer
// periods (up to 15.6 ms), so there the wait is rounded up as before.
#ifdef _WIN32
constexpr bool kSleepsPrecisely = false;
#else
constexpr bool kSleepsPrecisely = true;
#endif
constexpr Millis kMostSlept{2};

struct Schedule {
    QTimer timer;
    Clock::time_point start;
    std::chrono::milliseconds interval{0};
    long long n = 0;  // the last tick called
    ScheduleTick tick = nullptr;
    void* data = nullptr;
};

std::map<int, std::unique_ptr<Schedule>>& schedules()
{
    static std::map<int, std::unique_ptr<Schedule>> all;
    return all;
}

int nextSchedule = 1;
int firing = 0;  // the schedule whose tick runs now

Clock::time_point nextDeadline(const Schedule& schedule)
{
    return schedule.start + (schedule.n + 1) * schedule.interval;
}

// Waits for the next deadline; a timer that wakes early by more than the
// rest slept is set again for what is left.
void arm(Schedule& schedule)
{
    const auto left = nextDeadline(schedule) - Clock::now();
    const Millis wait = kSleepsPrecisely ? std::chrono::floor<Millis>(left) : std::chrono::ceil<Millis>(left);
    schedule.timer.start(int(std::max<long long>(0, wait.count())));
}

void fire(int handle)
{
    auto it = schedules().find(handle);
    if (it == schedules().end()) return;
    Schedule& schedule = *it->second;
    const auto deadline = nextDeadline(schedule);
    if (kSleepsPrecisely && Clock::now() < deadline && deadline - Clock::now() <= kMostSlept)
        std::this_thread::sleep_until(deadline);
    const long long due = (Clock::now() - schedule.start) / schedule.interval;
    if (due > schedule.n) {
        // Ticks missed while the process could not run (a suspended laptop)
        // are not made up in a burst: the one due now is called.
        schedule.n = due;
        firing = handle;
        schedule.tick(due, schedule.data);
        firing = 0;
        // The tick may have stopped its own schedule.
        if (schedule.tick == nullptr) {
            schedules().erase(handle);
            return;
        }
    }
    arm(schedule);
}

}  // namespace

int StartSchedule(int intervalMs, ScheduleTick tick, void* data)
{
    const int handle = nextSchedule++;
    auto schedule = std::make_unique<Schedule>();
    schedule->timer.setTimerType(Qt::PreciseTimer);
    schedule->timer.setSingleShot(true);
    schedule->interval = std::chrono::milliseconds(intervalMs);
    schedule->tick = tick;
    schedule->data = data;
    schedule->start = Clock::now();
    QObject::connect(&schedule->timer, &QTimer::timeout, [handle] { fire(handle); });
    arm(*schedule);
    schedules()[handle] = std::move(schedule);
    return handle;
}

void StopSchedule(int handle)
{
    auto it = schedules().find(handle);
    if (it == schedules().end()) return;
    it->second->timer.stop();
    // Stopped from inside its own tick, it is freed once the tick returns.
    if (handle == firing) it->second->tick = nullptr;
    else schedules().erase(it);
}
