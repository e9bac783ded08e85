// Schedules: a call every interval from one start, on absolute deadlines
// (start + n x interval), so that a late call does not move the ones after it.
#include <QTimer>

#include <chrono>
#include <map>
#include <memory>

#include "../runtime.h"

namespace {

using Clock = std::chrono::steady_clock;

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

// Waits for the next deadline; a timer may wake a little early, and is then
// set again for what is left.
void arm(Schedule& schedule)
{
    const auto due = schedule.start + (schedule.n + 1) * schedule.interval;
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(due - Clock::now());
    schedule.timer.start(int(std::max<long long>(0, left.count())));
}

void fire(int handle)
{
    auto it = schedules().find(handle);
    if (it == schedules().end()) return;
    Schedule& schedule = *it->second;
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
