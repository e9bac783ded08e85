// Serial devices on Unix, driven through their descriptor: opened and held by
// the claim the recorder uses too (lock files, exclusive open), watched by the
// event loop for room to write and for a device that goes away.
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>

#include "serialclaim.h"
#include "serialio.h"

namespace {

// What the far end sends is looked at no more often than this: a station that
// writes without pause (measured on a pseudo-terminal: 2.7 GB in 30 s, read
// 4 KB at a time) then costs a wake-up per pause, not a read per 4 KB, and a
// line's own input queue (4 KB, 2 s of 19200 baud) never fills in between.
constexpr int kReadPauseMs = 20;

class UnixSerialIo final : public SerialIo {
public:
    UnixSerialIo(SerialClaim claim, Events events);
    ~UnixSerialIo() override;

    std::size_t writeNow(std::span<const char> bytes) override
    {
        // A full driver buffer returns EAGAIN: nothing taken now.
        ssize_t written = ::write(claim_.fd, bytes.data(), bytes.size());
        return written < 0 ? 0 : std::size_t(written);
    }
    void watchWritable(bool on) override { writable_->setEnabled(on); }
    long long unsent() override
    {
        int count = 0;
        return ::ioctl(claim_.fd, TIOCOUTQ, &count) == 0 ? count : 0;
    }
    void waitWritable(int ms) override
    {
        pollfd poller{claim_.fd, POLLOUT, 0};
        ::poll(&poller, 1, ms);
    }
    bool hungUp() override
    {
        pollfd poller{claim_.fd, POLLOUT, 0};
        if (::poll(&poller, 1, 0) < 0) return true;
        return (poller.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
    }

private:
    void readAll();

    SerialClaim claim_;
    QSocketNotifier* readable_;
    QSocketNotifier* writable_;
    QTimer* pause_;
    Events events_;
};

UnixSerialIo::UnixSerialIo(SerialClaim claim, Events events) : claim_(std::move(claim)), events_(std::move(events))
{
    readable_ = new QSocketNotifier(qintptr(claim_.fd), QSocketNotifier::Read);
    QObject::connect(readable_, &QSocketNotifier::activated, readable_, [this] { readAll(); });
    writable_ = new QSocketNotifier(qintptr(claim_.fd), QSocketNotifier::Write);
    writable_->setEnabled(false);
    QObject::connect(writable_, &QSocketNotifier::activated, writable_, [this] { events_.writable(); });
    pause_ = new QTimer;
    pause_->setSingleShot(true);
    pause_->setInterval(kReadPauseMs);
    QObject::connect(pause_, &QTimer::timeout, readable_, [this] { readable_->setEnabled(true); });
}

// Nothing reads what the far end sends: none of it is kept. The driver drops
// all it holds at once, without copying it out, and the next look comes after
// a pause; a station that writes on never blocks for longer than that. A tty
// that hangs up (an adapter pulled out, the far end closed) stays readable and
// reads nothing or fails from then on, also with nothing being written: the
// device is reported gone, or the event loop would spin on it.
void UnixSerialIo::readAll()
{
    ::tcflush(claim_.fd, TCIFLUSH);
    char discard[4096];
    const ssize_t count = ::read(claim_.fd, discard, sizeof discard);
    const bool gone = (count < 0 && errno != EAGAIN && errno != EINTR) || (count == 0 && hungUp());
    readable_->setEnabled(false);
    if (!gone) {
        pause_->start();
        return;
    }
    writable_->setEnabled(false);
    events_.lost();
}

UnixSerialIo::~UnixSerialIo()
{
    // The port may be going away inside one of its own notifications.
    pause_->stop();
    pause_->disconnect();
    pause_->deleteLater();
    for (QSocketNotifier* notifier : {readable_, writable_}) {
        notifier->disconnect();
        notifier->setEnabled(false);
        notifier->deleteLater();
    }
    ReleaseSerialDevice(claim_);
}

}  // namespace

std::unique_ptr<SerialIo> OpenSerialIo(const std::string& device, const SerialLine& line, std::size_t,
                                       SerialIo::Events events, int& result, std::string& reason)
{
    SerialClaim claim;
    result = ClaimSerialDevice(device, SerialAccess::ReadWrite, line, claim, reason);
    if (result != 0) return nullptr;
    return std::make_unique<UnixSerialIo>(std::move(claim), std::move(events));
}
