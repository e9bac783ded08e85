#include "telnet.h"

#include <cstdint>
#include <cstring>

namespace {

// Telnet commands (RFC 854) and the options this side knows.
constexpr unsigned char kIac = 255, kDont = 254, kDo = 253, kWont = 252, kWill = 251, kSb = 250, kSe = 240;
constexpr unsigned char kBinary = 0;         // RFC 856
constexpr unsigned char kSuppressGa = 3;     // RFC 858: no go-aheads, as a data stream has none
constexpr unsigned char kComPortOption = 44; // RFC 2217

// RFC 2217's client-to-server commands and values.
constexpr unsigned char kSetBaudRate = 1, kSetDataSize = 2, kSetParity = 3, kSetStopSize = 4, kSetControl = 5;
constexpr unsigned char kNoFlowControl = 1;

bool weMay(unsigned char option) { return option == kBinary || option == kSuppressGa || option == kComPortOption; }
bool theyMay(unsigned char option) { return option == kBinary || option == kSuppressGa; }

void command(std::string& out, unsigned char verb, unsigned char option)
{
    out += {char(kIac), char(verb), char(option)};
}

// IAC SB COM-PORT-OPTION <command> <value, 0xFF doubled> IAC SE
void comPortCommand(std::string& out, unsigned char what, std::string_view value)
{
    out += {char(kIac), char(kSb), char(kComPortOption), char(what)};
    TelnetSession::escape(value, value.size() * 2, out);
    out += {char(kIac), char(kSe)};
}

unsigned char parityValue(Parity parity)
{
    switch (parity) {
    case Parity::Odd: return 2;
    case Parity::Even: return 3;
    default: return 1;
    }
}

}  // namespace

std::string TelnetSession::greeting(const SerialLine& line)
{
    std::string out;
    command(out, kWill, kBinary);
    command(out, kDo, kBinary);
    command(out, kWill, kComPortOption);
    ours_[kBinary].asked = theirs_[kBinary].asked = ours_[kComPortOption].asked = true;
    // Sent at once, not after the server's DO: it reads them after our WILL,
    // so they reach a server that agrees before the first byte of data does.
    const auto baud = std::uint32_t(line.baud);
    const char rate[] = {char(baud >> 24), char(baud >> 16), char(baud >> 8), char(baud)};
    comPortCommand(out, kSetBaudRate, std::string_view(rate, 4));
    comPortCommand(out, kSetDataSize, std::string(1, char(line.dataBits)));
    comPortCommand(out, kSetParity, std::string(1, char(parityValue(line.parity))));
    comPortCommand(out, kSetStopSize, std::string(1, char(line.stopBits == 2 ? 2 : 1)));
    comPortCommand(out, kSetControl, std::string(1, char(kNoFlowControl)));
    return out;
}

void TelnetSession::receive(std::span<const char> bytes, std::string& replies)
{
    const char* at = bytes.data();
    const char* const end = at + bytes.size();
    while (at < end) {
        switch (state_) {
        case State::Data:
        case State::Sub: {
            // Data and sub-negotiations (the server's replies, line and modem
            // states) are skipped whole up to the next IAC.
            const void* iac = std::memchr(at, int(kIac), std::size_t(end - at));
            if (!iac) return;
            at = static_cast<const char*>(iac) + 1;
            state_ = state_ == State::Data ? State::Command : State::SubCommand;
            break;
        }
        case State::Command: {
            const auto verb = (unsigned char)*at++;
            if (verb == kWill || verb == kWont || verb == kDo || verb == kDont) {
                verb_ = verb;
                state_ = State::Option;
            } else {
                // IAC IAC is a data byte; other commands (NOP, BREAK, ...) mean nothing here.
                state_ = verb == kSb ? State::Sub : State::Data;
            }
            break;
        }
        case State::Option:
            negotiate(verb_, (unsigned char)*at++, replies);
            state_ = State::Data;
            break;
        case State::SubCommand: {
            const auto next = (unsigned char)*at;
            if (next == kSe || next == kIac) {
                ++at;
                state_ = next == kSe ? State::Data : State::Sub;
            } else {
                // A server that never ends its sub-negotiation: the command
                // after its IAC is read as one.
                state_ = State::Command;
            }
            break;
        }
        }
    }
}

// RFC 854's rules: a request for the state an option is in already is not
// answered (no loops); a request we cannot meet is refused; an answer to our
// own request needs none.
void TelnetSession::negotiate(unsigned char verb, unsigned char option, std::string& replies)
{
    const bool aboutUs = verb == kDo || verb == kDont;
    const bool enable = verb == kDo || verb == kWill;
    Option& state = aboutUs ? ours_[option] : theirs_[option];
    const bool answer = state.asked;
    state.asked = false;
    if (enable == state.on) return;
    if (enable && !(aboutUs ? weMay(option) : theyMay(option))) {
        command(replies, aboutUs ? kWont : kDont, option);
        return;
    }
    state.on = enable;
    if (!answer) command(replies, aboutUs ? (enable ? kWill : kWont) : (enable ? kDo : kDont), option);
}

std::size_t TelnetSession::escape(std::span<const char> data, std::size_t room, std::string& wire)
{
    std::size_t taken = 0;
    while (taken < data.size() && room > 0) {
        // Runs without 0xFF are copied whole.
        const void* iac = std::memchr(data.data() + taken, int(kIac), data.size() - taken);
        const std::size_t run = (iac ? static_cast<const char*>(iac) - data.data() : data.size()) - taken;
        const std::size_t copied = std::min(run, room);
        wire.append(data.data() + taken, copied);
        taken += copied;
        room -= copied;
        if (copied < run || !iac || room < 2) break;
        wire += {char(kIac), char(kIac)};
        ++taken;
        room -= 2;
    }
    return taken;
}

std::size_t TelnetSession::dataIn(std::string_view wire, std::size_t sent)
{
    std::size_t data = 0;
    for (std::size_t at = 0; at < sent && at < wire.size(); ++data) {
        const std::size_t width = (unsigned char)wire[at] == kIac ? 2 : 1;
        if (at + width > sent) break;
        at += width;
    }
    return data;
}
