// Serial devices on Unix, driven through their descriptor: opened and held by
// the claim the recorder uses too (lock files, exclusive open), watched by the
// event loop for room to write and for a device that goes away.
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <QSocketNotifier>

#include <cerrno>

#include "serialclaim.h"
#include "serialio.h"

namespace {

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
    Events events_;
};

UnixSerialIo::UnixSerialIo(SerialClaim claim, Events events) : claim_(std::move(claim)), events_(std::move(events))
{
    readable_ = new QSocketNotifier(qintptr(claim_.fd), QSocketNotifier::Read);
    QObject::connect(readable_, &QSocketNotifier::activated, readable_, [this] { readAll(); });
    writable_ = new QSocketNotifier(qintptr(claim_.fd), QSocketNotifier::Write);
    writable_->setEnabled(false);
    QObject::connect(writable_, &QSocketNotifier::activated, writable_, [this] { events_.writable(); });
}

// Nothing reads what the far end sends: none of it is kept. A tty that hangs
// up (an adapter pulled out, the far end closed) stays readable and reads
// nothing or fails from then on, also with nothing being written: the device
// is reported gone, or the event loop would spin on it.
void UnixSerialIo::readAll()
{
    char discard[4096];
    // A far end that sends without pause does not keep the event loop here.
    for (int reads = 0; reads < 16; ++reads) {
        const ssize_t count = ::read(claim_.fd, discard, sizeof discard);
        if (count > 0) continue;
        if (count < 0 && (errno == EAGAIN || errno == EINTR)) return;
        if (count == 0 && !hungUp()) return;
        readable_->setEnabled(false);
        writable_->setEnabled(false);
        events_.lost();
        return;
    }
}

UnixSerialIo::~UnixSerialIo()
{
    // The port may be going away inside one of its own notifications.
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
