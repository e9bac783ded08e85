// One device of a player's site: its stream (the window's rules over its own
// Device), its state as the player shows it, and the times it spent in each.
#pragma once

#include <chrono>
#include <optional>
#include <string>

#include "../app/device.h"
#include "events.h"
#include "playargs.h"
#include "timed.h"

// Done: its recording was sent as many times as asked; Ended: the run is over.
enum class PlayState { Starting, Streaming, Waiting, NoRecording, Done, Ended };

class PlayedDevice final : public DeviceView {
public:
    using Clock = std::chrono::steady_clock;

    PlayedDevice(const PlayDevice& settings, int index, EventLog& log, long long loops);

    // For recorded or paced timing: reads what the device plays, before any
    // port is opened. Returns "" or what is wrong with it.
    std::string loadTimed();
    // Opens the port (or tries again) and, the first time, loads the data.
    void start();
    void retry();
    // One tick of the device's clock, in two steps: a text device reads its
    // record, then the record or chunk is sent, as the window sends them.
    void prepare();
    void send();
    // A device with timing of its own (recorded or paced): when its next
    // frame is due (max: none now), and sending what is due.
    bool timed() const { return timed_.has_value(); }
    std::chrono::steady_clock::time_point due() const;
    void sendDue(std::chrono::steady_clock::time_point now);
    void startClock(std::chrono::steady_clock::time_point t0);
    // What the line must carry for this device, against what it carries:
    // empty, or the warning the player gives at start.
    std::string overload() const;
    // Ends the stream: its clock stops (the session closes the ports).
    void stop();

    const PlayDevice& settings() const { return settings_; }
    Device& device() { return device_; }
    const Device& device() const { return device_; }
    PlayState state() const { return state_; }
    // Why the device waits or sends nothing: the "COM Error" text and its
    // details, or what is wrong with the recording.
    const std::string& why() const { return why_; }
    // Seconds spent streaming and otherwise (waiting for the port, or with
    // nothing to send), up to now.
    double streamingSeconds() const;
    double notStreamingSeconds() const;
    // The longest reason it did not stream, for the summary.
    const std::string& worstWhy() const { return worstWhy_; }
    bool ticksOn(Ticking clock) const { return device_.ticking == clock && state_ != PlayState::Done; }
    // Streamed from its start to the end of the run (or of its loops), never
    // waiting, with every record or chunk taken by the port.
    bool streamedWholeRun() const
    {
        return everStreamed_ && notStreamingSeconds() == 0 && device_.notSent == 0;
    }

    // DeviceView: what the window's status would show, as this device's state.
    void showIdle(Device&) override;
    void showSimulating(Device&) override;
    void showPhase(Device&) override;
    void comFailed(Device&, int code, int port) override;
    bool startOver(Device&, bool changed) override;

private:
    void enter(PlayState state);
    void stamp();

    PlayDevice settings_;
    int index_;
    EventLog& log_;
    long long loopsWanted_;
    Device device_{this};
    PlayState state_ = PlayState::Starting;
    std::string why_;
    std::string worstWhy_;
    double worstSeconds_ = 0;
    bool loaded_ = false;
    std::optional<TimedStream> timed_;
    bool notStamped_ = false;  // said once that a record's first field is no timestamp
    bool everStreamed_ = false;
    Clock::time_point since_ = Clock::now();
    double streaming_ = 0, notStreaming_ = 0;
};
