// Serial devices on Windows, through the communications API, opened and held
// by the claim the recorder uses too (serialclaim.h: one process per device).
//
// Writes never wait: one overlapped WriteFile at a time, from a buffer of
// ours of at most the queue size, and a QWinEventNotifier on its event brings
// the completion to the event loop. The bytes of that write count as held by
// the driver; COMSTAT.cbOutQue is not trusted for them (it reads 0 under Wine
// while the far end has stopped reading).
//
// A device that goes away (a pulled adapter; under Wine the far end of a
// pseudo-terminal closed) makes WriteFile and ClearCommError fail, with codes
// that differ by driver: any failure but ERROR_IO_PENDING is a lost port. With
// nothing being written, a light check of ClearCommError every 200 ms notices
// it, and drops what the far end sent (nothing reads it); WaitCommEvent is not
// used, as not every driver (nor Wine) reports a hang-up through it.
#include <windows.h>

#include <QString>
#include <QTimer>
#include <QWinEventNotifier>

#include <algorithm>

#include "../system/widetext.h"
#include "serialclaim.h"
#include "serialio.h"

namespace {

constexpr int kWatchMs = 200;

// The format's line, no flow control of any kind; false when the device
// refuses it.
bool setLine(HANDLE port, DCB dcb, const SerialLine& line, std::size_t queueSize)
{
    if (!SetLineSettings(port, dcb, line)) return false;
    // The queue sizes are advice to the driver; some ignore them.
    SetupComm(port, DWORD(queueSize), DWORD(queueSize));
    // Reads return at once, writes have no time limit (they are overlapped).
    COMMTIMEOUTS timeouts{MAXDWORD, 0, 0, 0, 0};
    return SetCommTimeouts(port, &timeouts) != 0;
}

class Win32SerialIo final : public SerialIo {
public:
    Win32SerialIo(HANDLE port, HANDLE event, std::size_t queueSize, Events events);
    ~Win32SerialIo() override;

    std::size_t writeNow(std::span<const char> bytes) override;
    void watchWritable(bool on) override { wantWritable_ = on; }
    long long unsent() override { return writing_ ? (long long)inFlight_.size() : 0; }
    void waitWritable(int ms) override;
    bool hungUp() override;
    bool writing() override { return writing_; }
    std::string takeBackUnsent() override;

private:
    bool issue();
    bool collect(bool wait);
    void completed();
    void check();
    void fail();

    HANDLE port_;
    OVERLAPPED write_{};
    std::string inFlight_;  // the bytes of the write in flight, kept until it ends
    std::size_t queueSize_;
    bool writing_ = false;
    bool wantWritable_ = false;
    bool failed_ = false;
    QWinEventNotifier* done_;
    QTimer* watch_;
    Events events_;
};

Win32SerialIo::Win32SerialIo(HANDLE port, HANDLE event, std::size_t queueSize, Events events)
    : port_(port), queueSize_(queueSize), events_(std::move(events))
{
    write_.hEvent = event;
    inFlight_.reserve(queueSize);
    done_ = new QWinEventNotifier(event);
    done_->setEnabled(false);
    // The notifier may still be waiting on the event when the port closes.
    QObject::connect(done_, &QObject::destroyed, [event] { CloseHandle(event); });
    QObject::connect(done_, &QWinEventNotifier::activated, done_, [this] { completed(); });
    watch_ = new QTimer;
    watch_->setInterval(kWatchMs);
    QObject::connect(watch_, &QTimer::timeout, watch_, [this] { check(); });
    watch_->start();
}

Win32SerialIo::~Win32SerialIo()
{
    // The port may be going away inside one of its own events.
    watch_->stop();
    watch_->disconnect();
    watch_->deleteLater();
    done_->setEnabled(false);
    QObject::disconnect(done_, &QWinEventNotifier::activated, nullptr, nullptr);
    done_->deleteLater();
    takeBackUnsent();  // the buffer must outlive the write
    CloseWin32Port(port_);
}

// Starts the write of what inFlight_ holds; false when the device failed.
bool Win32SerialIo::issue()
{
    write_.Offset = write_.OffsetHigh = 0;
    if (!WriteFile(port_, inFlight_.data(), DWORD(inFlight_.size()), nullptr, &write_) &&
        GetLastError() != ERROR_IO_PENDING) {
        fail();
        return false;
    }
    writing_ = true;
    done_->setEnabled(true);
    return true;
}

// Takes in a write that has ended; false when it failed. A write that has
// not ended stays in flight.
bool Win32SerialIo::collect(bool wait)
{
    DWORD written = 0;
    if (!GetOverlappedResult(port_, &write_, &written, wait ? TRUE : FALSE)) {
        if (GetLastError() == ERROR_IO_INCOMPLETE) return true;
        fail();
        return false;
    }
    writing_ = false;
    done_->setEnabled(false);
    inFlight_.erase(0, std::min<std::size_t>(written, inFlight_.size()));
    // A driver with a write time-out may end a write early: the rest follows.
    return inFlight_.empty() || issue();
}

// A device that failed is reported from the event loop, never from inside a
// write the program is making.
void Win32SerialIo::fail()
{
    failed_ = true;
    writing_ = false;
    done_->setEnabled(false);
    inFlight_.clear();
    watch_->start(0);
}

std::size_t Win32SerialIo::writeNow(std::span<const char> bytes)
{
    if (failed_ || bytes.empty()) return 0;
    if (writing_ && (!collect(false) || writing_)) return 0;
    const std::size_t taken = std::min(bytes.size(), queueSize_);
    inFlight_.assign(bytes.data(), taken);
    return issue() ? taken : 0;
}

void Win32SerialIo::waitWritable(int ms)
{
    if (!writing_) return;
    WaitForSingleObject(write_.hEvent, DWORD(ms));
    collect(false);
}

bool Win32SerialIo::hungUp()
{
    if (failed_) return true;
    DWORD errors = 0;
    COMSTAT status{};
    return !ClearCommError(port_, &errors, &status);
}

std::string Win32SerialIo::takeBackUnsent()
{
    if (!writing_) return {};
    CancelIoEx(port_, &write_);
    DWORD written = 0;
    GetOverlappedResult(port_, &write_, &written, TRUE);  // waits for the cancel
    writing_ = false;
    done_->setEnabled(false);
    std::string rest = inFlight_.substr(std::min<std::size_t>(written, inFlight_.size()));
    inFlight_.clear();
    return rest;
}

void Win32SerialIo::completed()
{
    if (!collect(false)) return events_.lost();
    if (!writing_ && wantWritable_) events_.writable();
}

void Win32SerialIo::check()
{
    if (watch_->interval() != kWatchMs) watch_->start(kWatchMs);
    if (hungUp()) return events_.lost();
    PurgeComm(port_, PURGE_RXCLEAR);
}

}  // namespace

std::unique_ptr<SerialIo> OpenSerialIo(const std::string& device, const SerialLine& line, std::size_t queueSize,
                                       SerialIo::Events events, int& result, std::string& reason)
{
    DCB dcb{};
    HANDLE port = OpenWin32Port(device, GENERIC_READ | GENERIC_WRITE, FILE_FLAG_OVERLAPPED, dcb, result, reason);
    if (port == INVALID_HANDLE_VALUE) return nullptr;
    if (!setLine(port, dcb, line, queueSize)) {
        result = kComBadSettings;
        reason = SystemWords(GetLastError());
        CloseWin32Port(port);
        return nullptr;
    }
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!event) {
        reason = SystemWords(GetLastError());
        CloseWin32Port(port);
        result = kComOtherError;
        return nullptr;
    }
    result = 0;
    return std::make_unique<Win32SerialIo>(port, event, queueSize, std::move(events));
}
