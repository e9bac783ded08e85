#include "session.h"

#include <chrono>
#include <algorithm>
#include <cmath>

#include "../app/awake.h"
#include "../platform/runtime.h"

namespace {

// The binary stream's quarter second is the clock's tick; the text stream's
// second is every fourth; a port that fails is tried again every 2 s.
constexpr int kTickMs = 250;
constexpr int kTicksPerRecord = 4;
constexpr int kTicksPerRetry = 8;
constexpr long long kCatchUpTicks = 4;

}  // namespace

Session::Session(const PlayOptions& options)
    : options_(options), report_(devices_, log_, options.json)
{
    for (std::size_t i = 0; i < options_.devices.size(); ++i)
        devices_.push_back(std::make_unique<PlayedDevice>(options_.devices[i], int(i), log_, options_.loops));
    due_.reserve(devices_.size());
    if (options_.forSeconds > 0) lastTick_ = (long long)std::floor(options_.forSeconds * 1000 / kTickMs + 1e-9);
}

Session::~Session()
{
    for (const auto& played : devices_) ReleaseDevice(played->device());
}


void Session::onReport(long long, void* session) { static_cast<Session*>(session)->report_.write(); }

void Session::onAlarm(void* session) { static_cast<Session*>(session)->sendTimed(); }

std::string Session::load()
{
    std::string problems;
    for (const auto& played : devices_) {
        const PlayDevice& settings = played->settings();
        const std::string where = settings.line ? options_.siteFile + ":" + std::to_string(settings.line) + ": " : "";
        if (std::string wrong = played->loadTimed(); !wrong.empty())
            problems += where + "device \"" + settings.name + "\": " + settings.recording + ": " + wrong + "\n";
    }
    return problems;
}

void Session::sendTimed()
{
    auto next = std::chrono::steady_clock::time_point::max();
    const auto now = std::chrono::steady_clock::now();
    for (const auto& played : devices_) {
        if (!played->timed()) continue;
        played->sendDue(now);
        next = std::min(next, played->due());
    }
    // Looked at again at the next tick at the latest: a port that comes back
    // brings its device's frames due again.
    if (alarm_ > 0 && next != std::chrono::steady_clock::time_point::max()) SetAlarm(alarm_, next);
}

// Whether a device's port takes bytes now (a network port may still connect).
static bool portReady(const PlayedDevice& played) { return ComPortReady(played.device().comport) == 1; }

void Session::onTick(long long n, void* session)
{
    Session& self = *static_cast<Session*>(session);
    // A tick or three the process could not run in time (a loaded machine)
    // still go out, late, so that no record or chunk is lost; after a longer
    // stop (a laptop suspended) the stream goes on from now.
    const long long from = n - self.lastTickRun_ <= kCatchUpTicks ? self.lastTickRun_ + 1 : n;
    for (long long due = from; due <= n && self.endStatus_ < 0; ++due) self.tick(due);
    self.lastTickRun_ = n;
}

void Session::tick(long long n)
{
    if (lastTick_ > 0 && n > lastTick_) return end(verdict());
    // Every device due now sends now, before any slower work: the text
    // records are read first, so that the writes go out back to back and a
    // station sees one tick's records within the time the writes take.
    due_.clear();
    for (const auto& played : devices_)
        if (played->ticksOn(Ticking::Binary) && portReady(*played)) due_.push_back(played.get());
    if (n % kTicksPerRecord == 0) {
        for (const auto& played : devices_)
            if (played->ticksOn(Ticking::Text) && portReady(*played)) due_.push_back(played.get());
    }
    for (PlayedDevice* played : due_) played->prepare();
    for (PlayedDevice* played : due_) played->send();
    bool waiting = false;
    for (const auto& played : devices_) waiting |= played->state() == PlayState::Waiting;
    if (waiting && !options_.retry) return end(kExitNotStreamed);
    if (waiting && n % kTicksPerRetry == 0) {
        for (const auto& played : devices_) played->retry();
    }
    sendTimed();
    if (options_.loops > 0 && allDone()) end(verdict());
}

bool Session::allDone() const
{
    for (const auto& played : devices_)
        if (played->state() != PlayState::Done) return false;
    return true;
}

int Session::verdict() const
{
    for (const auto& played : devices_)
        if (!played->streamedWholeRun()) return kExitNotStreamed;
    return kExitStreamed;
}

void Session::end(int status)
{
    if (endStatus_ >= 0) return;
    endStatus_ = status;
    QuitEventLoop(status);
}

int Session::run()
{
    const std::string site = options_.siteName.empty() ? options_.devices.front().name : options_.siteName;
    SetStayAwakeReason("Streaming " + std::to_string(devices_.size()) + (devices_.size() == 1 ? " device" : " devices") +
                       " of " + site + " with quorvex-play");
    const auto start = std::chrono::steady_clock::now();
    for (std::size_t i = 0; i < devices_.size(); ++i) {
        devices_[i]->start();
        if (std::string too = devices_[i]->overload(); !too.empty()) log_.add(EventKind::Overload, int(i), 0, too);
    }
    report_.write();
    bool waiting = false;
    for (const auto& played : devices_) waiting |= played->state() == PlayState::Waiting;
    if (waiting && !options_.retry) {
        endStatus_ = kExitNotStreamed;
    } else if (!TerminationRequested()) {
        clock_ = StartSchedule(kTickMs, onTick, this);
        reporter_ = StartSchedule(report_.terminal() ? 500 : 200, onReport, this);
        // Timed devices keep the clock's start, and their own times from it.
        const auto t0 = std::chrono::steady_clock::now();
        for (const auto& played : devices_) played->startClock(t0);
        alarm_ = StartAlarm(onAlarm, this);
        sendTimed();
        RunEventLoop();
        StopSchedule(clock_);
        StopSchedule(reporter_);
        StopAlarm(alarm_);
        alarm_ = 0;
    }
    // Every port at once: a stuck one holds up the close of none of the others.
    std::vector<int> ports;
    for (const auto& played : devices_) {
        played->stop();
        ports.push_back(played->device().comport);
    }
    CloseComPorts(ports);
    const int status = endStatus_ >= 0 ? endStatus_ : verdict();
    report_.summary(status, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    return status;
}
