// What the equipment sent, from the times its messages arrived: bytes a
// second; for J1939 how often each parameter group came, for J1587 messages
// a second; and how the window's replay (200 bytes a second) compares.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "framing.h"

class SendingRate {
public:
    explicit SendingRate(bool j1939) : j1939_(j1939) {}

    // Each whole message, in order, with when it arrived.
    void message(Bytes message, std::int64_t unixUs);

    // 0 until messages have come over some time.
    double bytesPerSecond() const;
    // "840 bytes a second: EEC1 every 50 ms, EEC2 100 ms, ET1 1 s", or
    // "190 bytes a second, 21 messages a second"; empty before there is a rate.
    std::string text() const;
    // How many times slower or faster than the equipment the window replays
    // what it sent ("4.2 times slower"); empty when about as fast.
    std::string windowReplay() const;

private:
    // One parameter group from one source: how often it came.
    struct Group {
        std::int64_t count = 0, lastUs = 0;
        std::vector<std::int64_t> gaps;  // the latest, a bounded number
        std::size_t next = 0;           // where the next gap goes once it is full
    };

    std::string periods() const;

    bool j1939_;
    std::int64_t messages_ = 0, firstUs_ = 0, lastUs_ = 0;
    std::int64_t messagesAfterFirst_ = 0, bytesAfterFirst_ = 0;  // of the reads after the first
    std::map<std::uint32_t, Group> groups_;  // by PGN << 8 | source address
    std::int64_t otherGroups_ = 0;           // messages of groups past the bound
};
