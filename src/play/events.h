// What happened to the devices of a run, kept until the player writes it out:
// a tick only notes an event, it composes no text (and allocates nothing for
// the events that come with ticks: a loop, a recording replaced).
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <string>

enum class EventKind {
    Started,      // the port opened and the stream began
    CouldNotOpen, // the port would not open (at start, or tried again)
    PortLost,     // the port went away while streaming
    PortBack,     // the port opened again after it failed
    NoRecording,  // nothing to send: the recording is missing or has no records
    RecordingBack,
    Replaced,     // the recording changed and starts over from its beginning
    Looped,       // the recording was sent whole and starts over
    Done,         // the recording was sent as many times as asked
    NotStamped,   // a record's first field is no timestamp: records go as they stand
    Overload,     // the recording needs more than the line carries
};

struct PlayEvent {
    EventKind kind = EventKind::Started;
    int device = 0;
    long long count = 0;   // Looped: loops so far
    std::string why;       // CouldNotOpen, PortLost, NoRecording: the reason
    std::chrono::system_clock::time_point when;
};

// A bounded log: events beyond its room before the next write-out are
// counted, not kept, so that it never grows.
class EventLog {
public:
    void add(EventKind kind, int device, long long count = 0, const std::string& why = {});
    // Calls out(event) for each event in order, then forgets them; returns
    // how many did not fit since the last call.
    template <typename Out>
    long long drain(Out out)
    {
        for (std::size_t i = 0; i < count_; ++i) out(events_[(first_ + i) % events_.size()]);
        first_ = (first_ + count_) % events_.size();
        count_ = 0;
        const long long lost = lost_;
        lost_ = 0;
        return lost;
    }

private:
    std::array<PlayEvent, 512> events_{};
    std::size_t first_ = 0, count_ = 0;
    long long lost_ = 0;
};
