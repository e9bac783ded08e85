// The Telnet side of a port on a serial device server that speaks RFC 2217
// (Telnet Com Port Control): the session is opened in BINARY both ways, so
// that CR and 0xFF are plain data (a raw J1939 or J1587 chunk is full of
// both), the line settings travel as COM-PORT-OPTION sub-negotiations, and
// every 0xFF of data goes out doubled. Nothing the server sends is kept: its
// data, notifications and replies are parsed only far enough to answer its
// option negotiation. No Qt here: the back end moves the bytes.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "serialio.h"

class TelnetSession {
public:
    // What opens the session: BINARY asked for both ways, COM-PORT-OPTION
    // offered, and the line set (baud, data bits, parity, stop bits, no flow
    // control), in the order RFC 2217 recommends.
    std::string greeting(const SerialLine& line);

    // Reads what the server sent, at the cost of a scan for IAC: everything
    // is dropped but the negotiation, whose answers are appended to replies.
    void receive(std::span<const char> bytes, std::string& replies);

    // Appends data to wire with each 0xFF doubled while it fits in room wire
    // bytes; an 0xFF whose pair does not fit whole waits. Returns the count
    // of data bytes taken.
    static std::size_t escape(std::span<const char> data, std::size_t room, std::string& wire);

    // How many data bytes the first `sent` bytes of an escaped wire hold whole
    // (an 0xFF counts only with both its bytes).
    static std::size_t dataIn(std::string_view wire, std::size_t sent);

private:
    struct Option {
        bool on = false;
        bool asked = false;  // we asked for the change and wait for the answer
    };
    enum class State { Data, Command, Option, Sub, SubCommand };

    void negotiate(unsigned char verb, unsigned char option, std::string& replies);

    State state_ = State::Data;
    unsigned char verb_ = 0;
    Option ours_[256];    // what we do (WILL/WONT sent, DO/DONT received)
    Option theirs_[256];  // what the server does (DO/DONT sent, WILL/WONT received)
};
