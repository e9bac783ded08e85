// Serial ports by number. COM n is the device named by QUORVEX_COM<n> when
// that is set, otherwise the system's own name for the n-th port.
#include <QCoreApplication>
#include <QSerialPort>

#include <cstdlib>
#include <map>

#include "serialdevice.h"
#include "runtime.h"

namespace {

struct ComPort {
    QSerialPort* device = nullptr;
    int outputQueue = kComQueueSize;
    int inputQueue = kComQueueSize;
};

std::map<int, ComPort>& ports()
{
    static std::map<int, ComPort> open;
    return open;
}

std::map<int, std::string>& lastErrors()
{
    static std::map<int, std::string> errors;
    return errors;
}

ComLostHandler lostHandler = nullptr;

// QUORVEX_COM<n> when set, otherwise the system's name for port n.
std::string comDeviceName(int port)
{
    const std::string variable = "QUORVEX_COM" + std::to_string(port);
    if (const char* mapped = std::getenv(variable.c_str()); mapped && *mapped) return mapped;
    return SystemComName(port);
}

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

void dropPort(int port)
{
    auto it = ports().find(port);
    if (it == ports().end()) return;
    QSerialPort* device = it->second.device;
    ports().erase(it);
    device->disconnect();
    device->close();
    // The port may be going away inside one of its own signals.
    device->deleteLater();
}

// A port whose device has gone is closed at once: left open, Qt reports the
// same error again from every turn of the event loop. Qt also calls a full
// output buffer (EAGAIN) a resource error; that port is fine and stays open.
void watchPort(int port, QSerialPort* device)
{
    QObject::connect(device, &QSerialPort::errorOccurred, device, [port](QSerialPort::SerialPortError error) {
        if (error != QSerialPort::ResourceError) return;
        auto it = ports().find(port);
        if (it == ports().end()) return;
        if (!DeviceHungUp(it->second.device->handle())) {
            it->second.device->clearError();
            return;
        }
        lastErrors()[port] = it->second.device->errorString().toStdString();
        dropPort(port);
        QMetaObject::invokeMethod(
            qApp, [port] { if (lostHandler) lostHandler(port); }, Qt::QueuedConnection);
    });
    // Nothing reads what the far end sends: keep no more of it than the input queue.
    QObject::connect(device, &QSerialPort::readyRead, device, [port] {
        auto it = ports().find(port);
        if (it == ports().end()) return;
        qint64 excess = it->second.device->bytesAvailable() - it->second.inputQueue;
        if (excess > 0) it->second.device->skip(excess);
    });
}

}  // namespace

int OpenComConfig(int port, std::string_view deviceName, int baud, Parity parity, int dataBits,
                  int stopBits, int inputQueueSize, int outputQueueSize)
{
    if (port < 1 || port > kMaxComPort) return kComBadPortNumber;
    CloseCom(port);
    std::string name = deviceName.empty() ? comDeviceName(port) : std::string(deviceName);
    auto* device = new QSerialPort(QString::fromStdString(name));
    bool settingsOk = device->setBaudRate(baud) &&
                      device->setDataBits(QSerialPort::DataBits(dataBits)) &&
                      device->setParity(parity == Parity::None   ? QSerialPort::NoParity
                                        : parity == Parity::Odd ? QSerialPort::OddParity
                                                                : QSerialPort::EvenParity) &&
                      device->setStopBits(stopBits == 2 ? QSerialPort::TwoStop : QSerialPort::OneStop) &&
                      device->setFlowControl(QSerialPort::NoFlowControl);
    if (!settingsOk || !device->open(QIODevice::ReadWrite)) {
        int result = settingsOk ? openResult(device->error()) : kComBadSettings;
        lastErrors()[port] = device->errorString().toStdString();
        delete device;
        return result == 0 ? kComOtherError : result;
    }
    lastErrors().erase(port);
    ports()[port] = ComPort{device, outputQueueSize, inputQueueSize};
    watchPort(port, device);
    return 0;
}

int CloseCom(int port)
{
    if (!ports().count(port)) return kComNotOpen;
    dropPort(port);
    return 0;
}

int ComWrt(int port, std::span<const char> bytes)
{
    auto it = ports().find(port);
    if (it == ports().end()) return kComNotOpen;
    QSerialPort* device = it->second.device;
    // A write that does not fit the output queue whole is dropped whole: the far
    // end never receives a torn record, and the queue never grows.
    if (device->bytesToWrite() + qint64(bytes.size()) > it->second.outputQueue) return 0;
    // With nothing queued the bytes go to the driver at once. Through Qt they would
    // wait for the next turn of the event loop (behind a repaint of the status, say),
    // and every write would register the port with the loop again: an allocation a tick.
    qint64 sent = device->bytesToWrite() == 0 ? WriteNow(device->handle(), bytes) : 0;
    if (sent == qint64(bytes.size())) return int(sent);
    // Qt queues what the driver did not take, and reports the port's errors.
    qint64 queued = device->write(bytes.data() + sent, qint64(bytes.size()) - sent);
    if (queued < 0) return sent > 0 ? int(sent) : int(queued);
    return int(sent + queued);
}

int ComWrtByte(int port, int byte)
{
    const char value = char(byte & 0xFF);
    return ComWrt(port, std::span<const char>(&value, 1));
}

int GetOutQLen(int port)
{
    auto it = ports().find(port);
    return it == ports().end() ? kComNotOpen : int(it->second.device->bytesToWrite());
}

std::string ComErrorDetail(int port)
{
    auto it = lastErrors().find(port);
    return it == lastErrors().end() ? std::string() : it->second;
}

void InstallComLostHandler(ComLostHandler handler) { lostHandler = handler; }
