// Serial devices on Linux, through Qt SerialPort. Qt opens them non-blocking;
// the descriptor is polled directly where Qt says too little (a hang-up, what
// the driver still holds).
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <QSerialPort>
#include <QSocketNotifier>

#include "serialio.h"

namespace {

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

QSerialPort::Parity qtParity(Parity parity)
{
    return parity == Parity::None ? QSerialPort::NoParity
           : parity == Parity::Odd ? QSerialPort::OddParity
                                   : QSerialPort::EvenParity;
}

class QtSerialIo final : public SerialIo {
public:
    QtSerialIo(QSerialPort* serial, Events events);
    ~QtSerialIo() override;

    std::size_t writeNow(std::span<const char> bytes) override
    {
        // A full driver buffer returns EAGAIN: nothing taken now.
        ssize_t written = ::write(fd(), bytes.data(), bytes.size());
        return written < 0 ? 0 : std::size_t(written);
    }
    void watchWritable(bool on) override { writable_->setEnabled(on); }
    long long unsent() override
    {
        int count = 0;
        return ::ioctl(fd(), TIOCOUTQ, &count) == 0 ? count : 0;
    }
    void waitWritable(int ms) override
    {
        pollfd poller{fd(), POLLOUT, 0};
        ::poll(&poller, 1, ms);
    }
    bool hungUp() override
    {
        pollfd poller{fd(), POLLOUT, 0};
        if (::poll(&poller, 1, 0) < 0) return true;
        return (poller.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
    }

private:
    int fd() const { return int(serial_->handle()); }

    QSerialPort* serial_;
    QSocketNotifier* writable_;
    Events events_;
};

// A tty that hangs up is noticed on the read side as well, with nothing being
// written. Qt also calls a full output buffer (EAGAIN) a resource error; that
// port is fine and stays open.
QtSerialIo::QtSerialIo(QSerialPort* serial, Events events) : serial_(serial), events_(std::move(events))
{
    QObject::connect(serial, &QSerialPort::errorOccurred, serial, [this](QSerialPort::SerialPortError error) {
        if (error == QSerialPort::NoError) return;  // also emitted on open
        if (hungUp()) events_.lost();
        else serial_->clearError();
    });
    // Nothing reads what the far end sends: keep none of it.
    QObject::connect(serial, &QSerialPort::readyRead, serial, [serial] { serial->skip(serial->bytesAvailable()); });
    writable_ = new QSocketNotifier(qintptr(serial->handle()), QSocketNotifier::Write);
    writable_->setEnabled(false);
    QObject::connect(writable_, &QSocketNotifier::activated, writable_, [this] { events_.writable(); });
}

QtSerialIo::~QtSerialIo()
{
    // The port may be going away inside one of its own signals.
    serial_->disconnect();
    writable_->disconnect();
    writable_->setEnabled(false);
    writable_->deleteLater();
    serial_->close();
    serial_->deleteLater();
}

}  // namespace

std::unique_ptr<SerialIo> OpenSerialIo(const std::string& device, const SerialLine& line, std::size_t,
                                       SerialIo::Events events, int& result, std::string& reason)
{
    auto* serial = new QSerialPort(QString::fromLocal8Bit(device));
    bool settingsOk = serial->setBaudRate(line.baud) && serial->setDataBits(QSerialPort::DataBits(line.dataBits)) &&
                      serial->setParity(qtParity(line.parity)) &&
                      serial->setStopBits(line.stopBits == 2 ? QSerialPort::TwoStop : QSerialPort::OneStop) &&
                      serial->setFlowControl(QSerialPort::NoFlowControl);
    if (!settingsOk || !serial->open(QIODevice::ReadWrite)) {
        result = settingsOk ? openResult(serial->error()) : kComBadSettings;
        // Qt's words for a device that takes no line settings say little.
        reason = result == kComBadSettings ? std::string("not a serial device") : serial->errorString().toStdString();
        if (result == 0) result = kComOtherError;
        delete serial;
        return nullptr;
    }
    result = 0;
    return std::make_unique<QtSerialIo>(serial, std::move(events));
}
