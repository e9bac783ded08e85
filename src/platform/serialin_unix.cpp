#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>

#include "runtime.h"
#include "serialdevice.h"
#include "serialin.h"

namespace {

volatile std::sig_atomic_t interrupted = 0;

void onInterrupt(int) { interrupted = 1; }

speed_t speedOf(int baud)
{
    switch (baud) {
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    default: return B0;
    }
}

int openResult(int error)
{
    switch (error) {
    case ENOENT:
    case ENXIO:
    case ENODEV: return kComNotFound;
    case EACCES:
    case EPERM:
    case EBUSY: return kComCannotOpen;
    default: return kComOtherError;
    }
}

// Raw 8N1 input at the format's rate; the receiver on, modem lines ignored.
int setLine(int fd, int baud, std::string& reason)
{
    termios settings {};
    if (::tcgetattr(fd, &settings) != 0 || speedOf(baud) == B0) {
        reason = "not a serial device";
        return kComBadSettings;
    }
    ::cfmakeraw(&settings);
    settings.c_cflag &= ~tcflag_t(CSTOPB | PARENB | CRTSCTS | CSIZE);
    settings.c_cflag |= CS8 | CLOCAL | CREAD;
    settings.c_iflag &= ~tcflag_t(IXON | IXOFF | IXANY);
    settings.c_cc[VMIN] = 0;
    settings.c_cc[VTIME] = 0;
    if (::cfsetispeed(&settings, speedOf(baud)) != 0 || ::cfsetospeed(&settings, speedOf(baud)) != 0 ||
        ::tcsetattr(fd, TCSANOW, &settings) != 0) {
        reason = std::strerror(errno);
        return kComBadSettings;
    }
    return 0;
}

}  // namespace

int OpenSerialIn(SerialIn& in, const std::string& name, int baud, std::string& device, std::string& reason)
{
    device = SystemDevicePath(name);
    // The program's own checks first: the same refusals, in the same words.
    if (int refused = CheckSerialDevice(device, reason)) return refused;
    // Non-blocking, so that a modem line that is down does not hold the open.
    const int fd = ::open(device.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        reason = std::strerror(error);
        return openResult(error);
    }
    // Another terminal program holding the device with a lock of its own.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        reason = "held by another program";
        ::close(fd);
        return kComCannotOpen;
    }
    if (int refused = setLine(fd, baud, reason)) {
        ::close(fd);
        return refused;
    }
    ::ioctl(fd, TIOCEXCL);
    in.handle = fd;
    return 0;
}

long long ReadSerialIn(SerialIn& in, std::span<char> buffer, int timeoutMs, std::string& reason)
{
    pollfd fd{int(in.handle), POLLIN, 0};
    const int ready = ::poll(&fd, 1, timeoutMs);
    if (ready < 0) return 0;  // EINTR: the caller looks at Interrupted()
    if (ready == 0) return 0;
    if (fd.revents & POLLIN) {
        const ssize_t count = ::read(fd.fd, buffer.data(), buffer.size());
        if (count > 0) return count;
        if (count < 0 && (errno == EAGAIN || errno == EINTR)) return 0;
        if (count < 0) {
            reason = std::strerror(errno);
            return -1;
        }
    }
    // A tty that hangs up (a USB adapter pulled out, the far end closed)
    // polls readable and reads 0 bytes from then on.
    reason = (fd.revents & POLLNVAL) ? "not open" : "the device has gone (hung up)";
    return -1;
}

void CloseSerialIn(SerialIn& in)
{
    if (in.handle < 0) return;
    ::close(int(in.handle));
    in.handle = -1;
}

void CatchInterrupts()
{
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no restart: a wait in poll ends at once
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) ::sigaction(signal, &action, nullptr);
}

bool Interrupted() { return interrupted != 0; }

bool OutputIsTerminal() { return ::isatty(STDOUT_FILENO) == 1; }
