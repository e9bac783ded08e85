// Serial ports by number: open, close, write, and the report of a port lost
// while open. Which device a number is: devicenames.cpp.
#include <QCoreApplication>

#include <chrono>
#include <cstdlib>
#include <map>
#include <memory>
#include <vector>

#include "../runtime.h"
#include "outqueue.h"
#include "serialdevice.h"
#include "serialio.h"
#include "serial/netport.h"

namespace {

struct ComPort {
    std::unique_ptr<SerialIo> io;
    std::string name;                     // as mapped
    std::string device;                   // the path it means
    std::size_t outputQueue = kComQueueSize;
    OutputQueue queue;
    long long dropped = 0;                // writes dropped whole: no room in the queue
};

std::map<int, ComPort>& ports()
{
    static std::map<int, ComPort> open;
    return open;
}

// The device a port's last open or loss was about, and the system's words.
struct ComFailure {
    std::string device;
    std::string reason;
    int lost = 0;  // how a loss is reported (ComLostCode); 0 for a failed open
};

std::map<int, ComFailure>& lastErrors()
{
    static std::map<int, ComFailure> errors;
    return errors;
}

// Tails of records whose heads reached a device before a close, by device:
// they go out first when the device is opened again, so that its far end
// sees each record whole.
std::map<std::string, std::string>& carriedTails()
{
    static std::map<std::string, std::string> tails;
    return tails;
}

ComLostHandler lostHandler = nullptr;

// A line that takes nothing for this long is not moving (a station that has
// stopped reading); one that moves gets this long at most before a close.
constexpr std::chrono::milliseconds kStalledLine{500};
constexpr std::chrono::milliseconds kLongestHandOver{5000};

// Hands the driver what it takes now from the front of the queue.
std::size_t flushSome(ComPort& port)
{
    std::size_t taken = port.io->writeNow(port.queue.front());
    port.queue.consume(taken);
    port.io->watchWritable(!port.queue.empty());
    return taken;
}

// A close must not tear the record in flight, its head already with the
// driver and its tail still queued. While the line moves, the queue is handed
// over (bounded in time, so that a dead line cannot hang the window). On a
// line that has stopped, the tail is kept for the next open of the device,
// behind what the system gives back of a write it had not finished.
void settleBeforeClose(std::span<ComPort* const> closing)
{
    using namespace std::chrono;
    struct Settling {
        ComPort* port;
        long long left;
        steady_clock::time_point progressed;
        bool done = false;
    };
    const auto start = steady_clock::now();
    std::vector<Settling> settling;
    for (ComPort* port : closing) settling.push_back({port, (long long)port->queue.size() + port->io->unsent(), start});
    for (bool busy = true; busy;) {
        busy = false;
        SerialIo* waitOn = nullptr;
        for (Settling& one : settling) {
            SerialIo& io = *one.port->io;
            const auto now = steady_clock::now();
            // A port still connecting takes nothing: its tail waits for the next open.
            one.done = one.done || !io.ready() || (one.port->queue.empty() && !io.writing()) ||
                       now - one.progressed > kStalledLine || now - start > kLongestHandOver;
            if (one.done) continue;
            busy = true;
            if (!waitOn) waitOn = &io;
            flushSome(*one.port);
            const long long nowLeft = (long long)one.port->queue.size() + io.unsent();
            if (nowLeft < one.left) one.progressed = steady_clock::now();
            one.left = std::min(one.left, nowLeft);
        }
        // One port is waited on; the others are tried again as it moves or
        // the short wait ends, so that many closing ports take no longer
        // than the slowest of them.
        if (waitOn) waitOn->waitWritable(settling.size() > 1 ? 2 : 20);
    }
    for (Settling& one : settling) {
        ComPort& port = *one.port;
        std::string carried = port.io->takeBackUnsent();
        carried += port.queue.tornTail();
        if (!carried.empty()) carriedTails()[port.device] = carried;
        // Records not begun are dropped whole, as a full queue drops them.
        port.queue.clear();
    }
}

void dropPort(int port, bool settle)
{
    auto it = ports().find(port);
    if (it == ports().end()) return;
    if (settle) {
        ComPort* closing = &it->second;
        settleBeforeClose({&closing, 1});
    } else {
        carriedTails().erase(it->second.device);
    }
    // Destroyed after leaving the table: it may be inside one of its own events.
    std::unique_ptr<SerialIo> io = std::move(it->second.io);
    ports().erase(it);
}

// The device has gone (a USB adapter pulled out, the far end closed): the port
// is closed at once, or the system reports it again from every turn of the
// event loop, and the program hears of it once, from the event loop.
void losePort(int port)
{
    auto it = ports().find(port);
    if (it == ports().end()) return;
    const SerialIo::Loss loss = it->second.io->loss();
    lastErrors()[port] = {it->second.name, loss.reason, loss.code};
    dropPort(port, false);
    QMetaObject::invokeMethod(
        qApp, [port] { if (lostHandler) lostHandler(port); }, Qt::QueuedConnection);
}

SerialIo::Events eventsOf(int port)
{
    SerialIo::Events events;
    events.writable = [port] {
        auto it = ports().find(port);
        if (it == ports().end()) return;
        if (flushSome(it->second) == 0 && it->second.io->hungUp()) losePort(port);
    };
    events.lost = [port] { losePort(port); };
    return events;
}

}  // namespace

int OpenComConfig(int port, std::string_view deviceName, int baud, Parity parity, int dataBits,
                  int stopBits, int /*inputQueueSize*/, int outputQueueSize)
{
    // A port named by the caller is known by any number of the caller's own.
    if (port < 1 || (deviceName.empty() && port > kMaxComPort)) return kComBadPortNumber;
    CloseCom(port);
    const std::string name = deviceName.empty() ? ComDeviceName(port) : std::string(deviceName);
    const bool network = IsNetworkPortName(name);
    const std::string device = network ? name : SystemDevicePath(name);
    std::string reason;
    if (int refused = network ? 0 : CheckSerialDevice(device, reason)) {
        lastErrors()[port] = {name, reason};
        return refused;
    }
    int result = 0;
    const SerialLine line{baud, parity, dataBits, stopBits};
    std::unique_ptr<SerialIo> io =
        network ? OpenNetworkIo(device, line, std::size_t(outputQueueSize), eventsOf(port), result, reason)
                : OpenSerialIo(device, line, std::size_t(outputQueueSize), eventsOf(port), result, reason);
    if (!io) {
        lastErrors()[port] = {name, reason};
        return result;
    }
    lastErrors().erase(port);
    // From the first port on: exit() may come before the event loop runs.
    CloseComPortsAtExit();
    ComPort& open = ports()[port];
    open.io = std::move(io);
    open.name = name;
    open.device = device;
    open.outputQueue = std::size_t(outputQueueSize);
    open.queue.reserve(open.outputQueue + kComQueueSize);
    if (auto carried = carriedTails().find(device); carried != carriedTails().end()) {
        open.queue.pushTail(carried->second);
        carriedTails().erase(carried);
        flushSome(open);
    }
    return 0;
}

int CloseCom(int port)
{
    // What a close uses is built by the first call, so that it outlives a
    // close made by a handler registered after it (the program's exit).
    carriedTails();
    if (!ports().count(port)) return kComNotOpen;
    dropPort(port, true);
    return 0;
}

void CloseComPorts(std::span<const int> numbers)
{
    std::vector<ComPort*> closing;
    for (int port : numbers)
        if (auto it = ports().find(port); it != ports().end()) closing.push_back(&it->second);
    settleBeforeClose(closing);
    for (int port : numbers) {
        auto it = ports().find(port);
        if (it == ports().end()) continue;
        std::unique_ptr<SerialIo> io = std::move(it->second.io);
        ports().erase(it);
    }
}

void ResetComPorts()
{
    while (!ports().empty()) CloseCom(ports().begin()->first);
    carriedTails().clear();
    lastErrors().clear();
}

namespace {

// exit() from inside Qt (the display gone) skips the normal shut-down: the
// ports are closed here so that their lock files go with the program.
void closePortsAtExit()
{
    std::vector<int> open;
    for (const auto& [port, _] : ports()) open.push_back(port);
    CloseComPorts(open);
}

}  // namespace

void CloseComPortsAtExit()
{
    static bool registered = false;
    if (registered) return;
    registered = true;
    // Touch the port table first, so that it is built before this handler is
    // registered and therefore destroyed only after the handler has run.
    CloseCom(0);
    std::atexit(closePortsAtExit);
}

int ComWrt(int port, std::span<const char> bytes)
{
    auto it = ports().find(port);
    if (it == ports().end()) return kComNotOpen;
    ComPort& open = it->second;
    // Nothing goes to a port that is not connected yet; that is no station
    // that stopped reading.
    if (!open.io->ready()) return 0;
    // A write that does not fit the output queue whole is dropped whole: the far
    // end never receives a torn record, and the queue never grows.
    if (open.queue.size() + bytes.size() > open.outputQueue) {
        ++open.dropped;
        return 0;
    }
    // With nothing queued the bytes go to the driver at once; what it does not
    // take waits in the queue for the line to move.
    std::size_t sent = open.queue.empty() ? open.io->writeNow(bytes) : 0;
    if (sent < bytes.size()) {
        open.queue.push(bytes, sent);
        open.io->watchWritable(true);
    }
    return int(bytes.size());
}

int ComWrtByte(int port, int byte)
{
    const char value = char(byte & 0xFF);
    return ComWrt(port, std::span<const char>(&value, 1));
}

int GetOutQLen(int port)
{
    auto it = ports().find(port);
    return it == ports().end() ? kComNotOpen : int(it->second.queue.size());
}

int ComPortReady(int port)
{
    auto it = ports().find(port);
    return it == ports().end() ? kComNotOpen : it->second.io->ready() ? 1 : 0;
}

long long ComDroppedWrites(int port)
{
    auto it = ports().find(port);
    return it == ports().end() ? 0 : it->second.dropped;
}

std::string ComErrorDetail(int port)
{
    auto it = lastErrors().find(port);
    return it == lastErrors().end() ? std::string() : it->second.reason;
}

int ComLostCode(int port)
{
    auto it = lastErrors().find(port);
    return it == lastErrors().end() ? 0 : it->second.lost;
}

std::string ComErrorDevice(int port)
{
    auto it = lastErrors().find(port);
    return it == lastErrors().end() ? ComDeviceName(port) : it->second.device;
}

void InstallComLostHandler(ComLostHandler handler) { lostHandler = handler; }
