// A run of the player: every device of the site on one clock, from one start,
// its port tried again while it fails, what happens written out as it
// happens, and at the end a summary and the exit status.
#pragma once

#include <memory>
#include <vector>

#include "events.h"
#include "playargs.h"
#include "played.h"
#include "report.h"

inline constexpr int kExitStreamed = 0, kExitNotStreamed = 1, kExitBadArguments = 2;

class Session {
public:
    explicit Session(const PlayOptions& options);
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // Reads what the timed devices play; "" or every problem, one a line,
    // before any port is opened.
    std::string load();
    // Streams until the run ends (its time, its loops, Ctrl-C or a
    // termination request, or a failed port with --no-retry); returns the
    // exit status.
    int run();

private:
    static void onTick(long long n, void* session);
    static void onReport(long long n, void* session);
    static void onAlarm(void* session);
    // Sends the timed devices' frames due now, and sets the alarm for the next.
    void sendTimed();
    void tick(long long n);
    void end(int status);
    bool allDone() const;
    int verdict() const;

    PlayOptions options_;
    EventLog log_;
    std::vector<std::unique_ptr<PlayedDevice>> devices_;
    std::vector<PlayedDevice*> due_;  // the devices sending on this tick, in the order they send
    Report report_;
    long long lastTick_ = 0;  // the last quarter-second tick due by the run's time; 0: no limit
    long long lastTickRun_ = 0;
    int clock_ = 0;
    int reporter_ = 0;
    int alarm_ = 0;
    int endStatus_ = -1;
};
