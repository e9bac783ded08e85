#include "cabletest.h"

#include <chrono>
#include <cstdio>
#include <string>

#include "../platform/runtime.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kExitGood = 0, kExitNotGood = 1, kExitOnePortTwice = 2, kExitPortFailed = 3;
// The rates of the text devices and the two engine streams.
constexpr int kRates[] = {9600, 19200, 115200};
// Long enough for the pattern at 9600 baud (50 bytes, 52 ms) and an
// adapter's latency (USB adapters hold bytes up to 16 ms).
constexpr auto kListen = std::chrono::milliseconds(400);
constexpr int kSliceMs = 10;

void say(const std::string& text) { std::fputs(text.c_str(), stdout); }

// What one port heard of a pattern: nothing, the pattern, or other bytes.
enum class Heard { Nothing, Pattern, Changed };

struct Port {
    PortChoice choice;
    std::string shown, name;  // "COM3 (/dev/ttyUSB0)", "COM3"
    SerialIn in;
};

// Names the rate and the direction, so that bytes left from another try are
// never taken for this one; the U's (0x55) alternate every bit.
std::string pattern(const Port& from, int rate)
{
    return "QUORVEX CABLE TEST FROM " + from.name + " AT " + std::to_string(rate) + " UUUUUUUU\r\n";
}

// Reads what has come and is not wanted any more.
void drain(Port& port)
{
    char buffer[256];
    std::string reason;
    while (ReadSerialIn(port.in, buffer, 0, reason) > 0) {
    }
}

// Sends from one port and listens on every port for the time, or until the
// far one (to, or from itself for a loopback) has heard the pattern whole.
std::vector<Heard> sendAndListen(std::vector<Port>& ports, std::size_t from, std::size_t to, int rate)
{
    const std::string sent = pattern(ports[from], rate);
    std::vector<std::string> got(ports.size());
    std::string reason;
    WriteSerialIn(ports[from].in, sent, int(kListen.count()), reason);
    for (const auto end = Clock::now() + kListen; Clock::now() < end && !Interrupted();) {
        char buffer[256];
        for (std::size_t i = 0; i < ports.size(); ++i) {
            const long long count = ReadSerialIn(ports[i].in, buffer, kSliceMs, reason);
            if (count > 0 && got[i].size() < 4 * sent.size()) got[i].append(buffer, std::size_t(count));
        }
        if (got[to].find(sent) != std::string::npos) break;
    }
    std::vector<Heard> heard;
    for (const std::string& bytes : got)
        heard.push_back(bytes.find(sent) != std::string::npos ? Heard::Pattern
                        : bytes.empty()                       ? Heard::Nothing
                                                              : Heard::Changed);
    return heard;
}

// What arrived at one rate: heard[i][j], what port j heard of port i's pattern.
using Try = std::vector<std::vector<Heard>>;

bool openAll(std::vector<Port>& ports, int rate)
{
    for (std::size_t i = 0; i < ports.size(); ++i) {
        if (OpenPort(ports[i].choice, rate, SerialInUse::ReadWrite, ports[i].in, ports[i].shown)) continue;
        for (std::size_t j = 0; j < i; ++j) CloseSerialIn(ports[j].in);
        return false;
    }
    for (Port& port : ports) drain(port);
    return true;
}

std::string word(Heard heard)
{
    return heard == Heard::Pattern ? "arrived" : heard == Heard::Nothing ? "nothing" : "changed";
}

std::string rateLine(const std::vector<Port>& ports, int rate, const Try& heard)
{
    std::string line = "  " + std::to_string(rate) + " baud";
    line.resize(15, ' ');
    if (ports.size() == 1)
        return line + (heard[0][0] == Heard::Pattern ? "came back" : heard[0][0] == Heard::Nothing ? "nothing came back"
                                                                                                  : "came back changed") + "\n";
    for (std::size_t i = 0; i < 2; ++i) {
        line += ports[i].name + " to " + ports[1 - i].name + ": " + word(heard[i][1 - i]);
        if (heard[i][i] != Heard::Nothing) line += " (" + ports[i].name + " heard itself)";
        line += i == 0 ? "   " : "\n";
    }
    return line;
}

bool everyTry(const std::vector<Try>& tries, std::size_t from, std::size_t to, Heard heard)
{
    for (const Try& t : tries)
        if (t[from][to] != heard) return false;
    return true;
}

// The verdict on two ports, and whether the cable is what the station needs.
std::pair<std::string, bool> cableVerdict(const std::vector<Port>& ports, const std::vector<Try>& tries)
{
    const std::string& a = ports[0].name;
    const std::string& b = ports[1].name;
    if (everyTry(tries, 0, 1, Heard::Pattern) && everyTry(tries, 1, 0, Heard::Pattern))
        return {"Crossed (null-modem): what each port sends arrives at the other, at every rate tried. This is the "
                "cable the station needs.", true};
    const bool selfA = everyTry(tries, 0, 0, Heard::Pattern), selfB = everyTry(tries, 1, 1, Heard::Pattern);
    const bool noneAcross = everyTry(tries, 0, 1, Heard::Nothing) && everyTry(tries, 1, 0, Heard::Nothing);
    if (noneAcross && (selfA || selfB))
        return {std::string(selfA && selfB ? "Each port hears" : (selfA ? a : b) + " hears") +
                    " what it sends, and nothing reaches the other port: pins 2 and 3 are joined at that end (a "
                    "loopback plug), not a cable between the ports.", false};
    if (noneAcross && everyTry(tries, 0, 0, Heard::Nothing) && everyTry(tries, 1, 1, Heard::Nothing))
        return {"Straight, or carrying nothing: nothing either port sends arrives at the other. A straight cable "
                "joins transmit to transmit (as for a modem) and carries nothing between two computers; the station "
                "needs a null-modem cable, or a null-modem adapter on this one. Check too that both ends are in.",
                false};
    for (std::size_t from = 0; from < 2; ++from)
        if (everyTry(tries, from, 1 - from, Heard::Pattern) && everyTry(tries, 1 - from, from, Heard::Nothing))
            return {"One way only: what " + ports[from].name + " sends arrives at " + ports[1 - from].name +
                        ", but nothing comes back: a broken wire, or a cable that joins " + ports[1 - from].name +
                        "'s transmit to nothing.", false};
    return {"Not a clean cable: at some rates bytes arrive changed or not at all (see above): a poor connection, a "
            "cable too long for the higher rates, or noise on the line.", false};
}

std::pair<std::string, bool> loopbackVerdict(const Port& port, const std::vector<Try>& tries)
{
    if (everyTry(tries, 0, 0, Heard::Pattern))
        return {"The adapter and cable carry both ways: what " + port.name + " sends comes back through the far "
                "end's joined pins 2 and 3, at every rate tried.", true};
    if (everyTry(tries, 0, 0, Heard::Nothing))
        return {"Nothing came back: are pins 2 and 3 joined at the cable's far end? If they are, the adapter or the "
                "cable carries nothing.", false};
    return {"What comes back is not always what was sent (see above): a poor connection, or noise on the line.", false};
}

std::string header(const std::vector<Port>& ports)
{
    std::string rates;
    for (int rate : kRates) rates += (rates.empty() ? "" : rate == kRates[std::size(kRates) - 1] ? " and " : ", ") +
                                     std::to_string(rate);
    if (ports.size() == 1) return "Loopback test of " + ports[0].shown + ", at " + rates + " baud:\n";
    return "Cable test between " + ports[0].shown + " and " + ports[1].shown + ", at " + rates + " baud:\n";
}

}  // namespace

int CableTest(const std::vector<PortChoice>& choices)
{
    std::vector<Port> ports;
    for (const PortChoice& choice : choices)
        ports.push_back({choice, {}, choice.com > 0 ? "COM" + std::to_string(choice.com) : choice.given, {}});
    if (ports.size() == 2 && ports[0].choice.com >= 0 && ports[1].choice.com >= 0) {
        auto device = [](const PortChoice& c) { return c.com > 0 ? ComDeviceName(c.com) : c.device; };
        if (PortIdentity(device(ports[0].choice)) == PortIdentity(device(ports[1].choice))) {
            std::fputs(("quorvex-record: " + ports[0].name + " and " + ports[1].name +
                        " are one port; give one PORT for a loopback test\n").c_str(), stderr);
            return kExitOnePortTwice;
        }
    }
    CatchInterrupts();
    std::vector<Try> tries;
    for (int rate : kRates) {
        if (!openAll(ports, rate)) return kExitPortFailed;
        if (tries.empty()) say(header(ports));
        Try heard;
        for (std::size_t from = 0; from < ports.size(); ++from)
            heard.push_back(sendAndListen(ports, from, ports.size() == 1 ? 0 : 1 - from, rate));
        for (Port& port : ports) CloseSerialIn(port.in);
        if (Interrupted()) return kExitNotGood;
        say(rateLine(ports, rate, heard));
        tries.push_back(heard);
    }
    const auto [verdict, good] = ports.size() == 1 ? loopbackVerdict(ports[0], tries) : cableVerdict(ports, tries);
    say(verdict + "\n");
    return good ? kExitGood : kExitNotGood;
}
