// Serial ports by number. COM n is the device named by QUORVEX_COM<n> when
// that is set, otherwise the system's own name for the n-th port.
#include <QCoreApplication>
#include <QSerialPort>
#include <QSocketNotifier>

#include <chrono>
#include <cstdlib>
#include <map>

#include "outqueue.h"
#include "runtime.h"
#include "serialdevice.h"

namespace {

struct ComPort {
    QSerialPort* serial = nullptr;
    QSocketNotifier* writable = nullptr;  // on while the queue holds bytes
    std::string name;                     // as mapped
    std::string device;                   // the path it means
    std::size_t outputQueue = kComQueueSize;
    OutputQueue queue;
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

int openResult(QSerialPort::SerialPortError error)
{
    switch (error) {
    case QSerialPort::NoError: return 0;
    case QSerialPort::DeviceNotFoundError: return kComNotFound;
    case QSerialPort::PermissionError: return kComCannotOpen;
    case QSerialPort::OpenError: return kComCannotOpen;
    case QSerialPort::UnsupportedOperationError: return kComBadSettings;
    default: return kComOtherError;
    }
}

// Hands the driver what it takes now from the front of the queue.
std::size_t flushSome(ComPort& port)
{
    std::size_t taken = std::size_t(WriteNow(port.serial->handle(), port.queue.front()));
    port.queue.consume(taken);
    port.writable->setEnabled(!port.queue.empty());
    return taken;
}

// A close must not tear the record in flight, its head already with the
// driver and its tail still queued. While the line moves, the queue is handed
// over (bounded in time, so that a dead line cannot hang the window). On a
// line that has stopped, the tail is kept for the next open of the device.
void settleBeforeClose(ComPort& port)
{
    using namespace std::chrono;
    const long long handle = port.serial->handle();
    const auto start = steady_clock::now();
    auto progressed = start;
    long long left = (long long)port.queue.size() + UnsentInDriver(handle);
    while (!port.queue.empty()) {
        const auto now = steady_clock::now();
        if (now - progressed > kStalledLine || now - start > kLongestHandOver) break;
        WaitWritable(handle, 20);
        flushSome(port);
        const long long nowLeft = (long long)port.queue.size() + UnsentInDriver(handle);
        if (nowLeft < left) progressed = steady_clock::now();
        left = std::min(left, nowLeft);
    }
    if (std::string_view tail = port.queue.tornTail(); !tail.empty()) carriedTails()[port.device] = tail;
    // Records not begun are dropped whole, as a full queue drops them.
    port.queue.clear();
}

void dropPort(int port, bool settle)
{
    auto it = ports().find(port);
    if (it == ports().end()) return;
    QSerialPort* serial = it->second.serial;
    serial->disconnect();
    if (settle) settleBeforeClose(it->second);
    else carriedTails().erase(it->second.device);
    delete it->second.writable;
    ports().erase(it);
    serial->close();
    // The port may be going away inside one of its own signals.
    serial->deleteLater();
}

// The device has gone (a USB adapter pulled out, the far end closed): the port
// is closed at once, or Qt reports it again from every turn of the event loop,
// and the program hears of it once, from the event loop.
void losePort(int port)
{
    auto it = ports().find(port);
    if (it == ports().end()) return;
    lastErrors()[port] = {it->second.name, "the device has gone (hung up)"};
    dropPort(port, false);
    QMetaObject::invokeMethod(
        qApp, [port] { if (lostHandler) lostHandler(port); }, Qt::QueuedConnection);
}

// A tty that hangs up is noticed on the read side as well, with nothing being
// written. Qt also calls a full output buffer (EAGAIN) a resource error; that
// port is fine and stays open.
void watchPort(int port, ComPort& open)
{
    QSerialPort* serial = open.serial;
    QObject::connect(serial, &QSerialPort::errorOccurred, serial, [port](QSerialPort::SerialPortError error) {
        if (error == QSerialPort::NoError) return;  // also emitted on open
        auto it = ports().find(port);
        if (it == ports().end()) return;
        if (DeviceHungUp(it->second.serial->handle())) losePort(port);
        else it->second.serial->clearError();
    });
    // Nothing reads what the far end sends: keep none of it.
    QObject::connect(serial, &QSerialPort::readyRead, serial, [serial] { serial->skip(serial->bytesAvailable()); });
    open.writable = new QSocketNotifier(qintptr(serial->handle()), QSocketNotifier::Write);
    open.writable->setEnabled(false);
    QObject::connect(open.writable, &QSocketNotifier::activated, open.writable, [port] {
        auto it = ports().find(port);
        if (it == ports().end()) return;
        if (flushSome(it->second) == 0 && DeviceHungUp(it->second.serial->handle())) losePort(port);
    });
}

QSerialPort::Parity qtParity(Parity parity)
{
    return parity == Parity::None ? QSerialPort::NoParity
           : parity == Parity::Odd ? QSerialPort::OddParity
                                   : QSerialPort::EvenParity;
}

}  // namespace

std::string ComDeviceName(int port)
{
    const std::string variable = "QUORVEX_COM" + std::to_string(port);
    if (const char* mapped = std::getenv(variable.c_str()); mapped && *mapped) return mapped;
    return SystemComName(port);
}

int OpenComConfig(int port, std::string_view deviceName, int baud, Parity parity, int dataBits,
                  int stopBits, int /*inputQueueSize*/, int outputQueueSize)
{
    if (port < 1 || port > kMaxComPort) return kComBadPortNumber;
    CloseCom(port);
    const std::string name = deviceName.empty() ? ComDeviceName(port) : std::string(deviceName);
    const std::string device = SystemDevicePath(name);
    std::string reason;
    if (int refused = CheckSerialDevice(device, reason)) {
        lastErrors()[port] = {name, reason};
        return refused;
    }
    auto* serial = new QSerialPort(QString::fromLocal8Bit(device));
    bool settingsOk = serial->setBaudRate(baud) && serial->setDataBits(QSerialPort::DataBits(dataBits)) &&
                      serial->setParity(qtParity(parity)) &&
                      serial->setStopBits(stopBits == 2 ? QSerialPort::TwoStop : QSerialPort::OneStop) &&
                      serial->setFlowControl(QSerialPort::NoFlowControl);
    if (!settingsOk || !serial->open(QIODevice::ReadWrite)) {
        int result = settingsOk ? openResult(serial->error()) : kComBadSettings;
        // Qt's words for a device that takes no line settings say little.
        lastErrors()[port] = {name, result == kComBadSettings ? std::string("not a serial device")
                                                              : serial->errorString().toStdString()};
        delete serial;
        return result == 0 ? kComOtherError : result;
    }
    lastErrors().erase(port);
    ComPort& open = ports()[port];
    open.serial = serial;
    open.name = name;
    open.device = device;
    open.outputQueue = std::size_t(outputQueueSize);
    open.queue.reserve(open.outputQueue + kComQueueSize);
    watchPort(port, open);
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
    // A write that does not fit the output queue whole is dropped whole: the far
    // end never receives a torn record, and the queue never grows.
    if (open.queue.size() + bytes.size() > open.outputQueue) return 0;
    // With nothing queued the bytes go to the driver at once; what it does not
    // take waits in the queue for the line to move.
    std::size_t sent = open.queue.empty() ? std::size_t(WriteNow(open.serial->handle(), bytes)) : 0;
    if (sent < bytes.size()) {
        open.queue.push(bytes, sent);
        open.writable->setEnabled(true);
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

std::string ComErrorDetail(int port)
{
    auto it = lastErrors().find(port);
    return it == lastErrors().end() ? std::string() : it->second.reason;
}

std::string ComErrorDevice(int port)
{
    auto it = lastErrors().find(port);
    return it == lastErrors().end() ? ComDeviceName(port) : it->second.device;
}

void InstallComLostHandler(ComLostHandler handler) { lostHandler = handler; }
