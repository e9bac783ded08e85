// Serial ports by number. COM n is the device named by QUORVEX_COM<n> when
// that is set, otherwise the system's own name for COM n.
#include <QCoreApplication>

#include <chrono>
#include <cstdlib>
#include <map>
#include <memory>

#include "outqueue.h"
#include "runtime.h"
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
void settleBeforeClose(ComPort& port)
{
    using namespace std::chrono;
    SerialIo& io = *port.io;
    const auto start = steady_clock::now();
    auto progressed = start;
    long long left = (long long)port.queue.size() + io.unsent();
    // A port still connecting takes nothing: its tail waits for the next open.
    while (io.ready() && (!port.queue.empty() || io.writing())) {
        const auto now = steady_clock::now();
        if (now - progressed > kStalledLine || now - start > kLongestHandOver) break;
        io.waitWritable(20);
        flushSome(port);
        const long long nowLeft = (long long)port.queue.size() + io.unsent();
        if (nowLeft < left) progressed = steady_clock::now();
        left = std::min(left, nowLeft);
    }
    std::string carried = io.takeBackUnsent();
    carried += port.queue.tornTail();
    if (!carried.empty()) carriedTails()[port.device] = carried;
    // Records not begun are dropped whole, as a full queue drops them.
    port.queue.clear();
}

void dropPort(int port, bool settle)
{
    auto it = ports().find(port);
    if (it == ports().end()) return;
    if (settle) settleBeforeClose(it->second);
    else carriedTails().erase(it->second.device);
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

std::string ComDeviceName(int port)
{
    const std::string variable = "QUORVEX_COM" + std::to_string(port);
    if (const char* mapped = std::getenv(variable.c_str()); mapped && *mapped) return mapped;
    return SystemComName(port);
}

std::string PrintableName(std::string_view bytes)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string shown;
    for (std::size_t at = 0; at < bytes.size();) {
        const auto byte = (unsigned char)bytes[at];
        // The length of the UTF-8 sequence this byte starts (1: ASCII or not UTF-8).
        const std::size_t length = byte >= 0xF0 && byte <= 0xF4 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC2 ? 2 : 1;
        bool whole = byte < 0x80 || (length > 1 && byte < 0xF5 && at + length <= bytes.size());
        for (std::size_t i = 1; whole && i < length; ++i) whole = ((unsigned char)bytes[at + i] & 0xC0) == 0x80;
        // Overlong and surrogate forms are not UTF-8 either.
        if (whole && length == 3) {
            const auto next = (unsigned char)bytes[at + 1];
            whole = !(byte == 0xE0 && next < 0xA0) && !(byte == 0xED && next >= 0xA0);
        }
        if (whole && length == 4) {
            const auto next = (unsigned char)bytes[at + 1];
            whole = !(byte == 0xF0 && next < 0x90) && !(byte == 0xF4 && next >= 0x90);
        }
        if (whole) {
            shown.append(bytes.substr(at, byte < 0x80 ? 1 : length));
            at += byte < 0x80 ? 1 : length;
        } else {
            shown += {'\\', 'x', hex[byte >> 4], hex[byte & 15]};
            ++at;
        }
    }
    return shown;
}

int OpenComConfig(int port, std::string_view deviceName, int baud, Parity parity, int dataBits,
                  int stopBits, int /*inputQueueSize*/, int outputQueueSize)
{
    if (port < 1 || port > kMaxComPort) return kComBadPortNumber;
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
