#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "portlock.h"
#include "serialclaim.h"

namespace {

speed_t speedOf(int baud)
{
    switch (baud) {
    case 1200: return B1200;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    case 230400: return B230400;
    default: return B0;
    }
}

tcflag_t sizeOf(int dataBits)
{
    switch (dataBits) {
    case 5: return CS5;
    case 6: return CS6;
    case 7: return CS7;
    default: return CS8;
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

// Raw bytes at the rate asked, modem lines and flow control ignored. The
// settings stay at the close: bytes the driver still holds then go out at the
// rate they were written for.
int setLine(int fd, const SerialLine& line, std::string& reason)
{
    termios settings {};
    if (::tcgetattr(fd, &settings) != 0) {
        // ENOTTY is a file or device that has no line at all; anything else
        // (EIO from a device that fails) is the device's own trouble.
        const int error = errno;
        reason = std::string(error == ENOTTY ? "not a serial device (" : "its line settings could not be read (") +
                 std::strerror(error) + ")";
        return kComBadSettings;
    }
    const speed_t speed = speedOf(line.baud);
    if (speed == B0) {
        reason = "no such baud rate: " + std::to_string(line.baud);
        return kComBadSettings;
    }
    ::cfmakeraw(&settings);
    settings.c_cflag &= ~tcflag_t(CSIZE | CSTOPB | PARENB | PARODD | CRTSCTS);
    settings.c_cflag |= sizeOf(line.dataBits) | CLOCAL | CREAD;
    if (line.stopBits == 2) settings.c_cflag |= CSTOPB;
    if (line.parity != Parity::None) settings.c_cflag |= PARENB | (line.parity == Parity::Odd ? PARODD : 0);
    settings.c_iflag &= ~tcflag_t(IXON | IXOFF | IXANY);
    settings.c_cc[VMIN] = 0;
    settings.c_cc[VTIME] = 0;
    if (::cfsetispeed(&settings, speed) != 0 || ::cfsetospeed(&settings, speed) != 0 ||
        ::tcsetattr(fd, TCSANOW, &settings) != 0) {
        reason = "the device refused " + std::to_string(line.baud) + " baud or 8N1 (" + std::strerror(errno) + ")";
        return kComBadSettings;
    }
    return 0;
}

// Who holds a port is decided by who has it open: a lock file or an
// exclusive mark may outlive its holder, an open descriptor may not.

// The open was refused for the terminal's exclusive mode, which a process
// with the device open set, or one that has ended left behind: a
// pseudo-terminal keeps the mark while its other end is open, and only root
// may open past it to take it over.
std::string refusedExclusive(const std::string& device)
{
    const DeviceUsers users = UsersOf(device);
    if (!users.processes.empty()) return UsersText(users);
    if (users.unseen)
        return "marked for exclusive use, and no process of this user has it open: another user's program "
               "holds it, or one that has ended left the mark, which a pseudo-terminal keeps until its other "
               "end closes";
    return "marked for exclusive use by a program that has ended";
}

// Another opener holds the device: by flock (every name of the device, and
// root, meets it), or by the terminal's exclusive mode (which root passes).
// A mark that no live process holds is taken over.
bool heldElsewhere(int fd, const std::string& device, std::string& reason)
{
    const bool locked = ::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    int exclusive = 0;
    const bool marked = ::ioctl(fd, TIOCGEXCL, &exclusive) == 0 && exclusive != 0;
    if (!locked && !marked) return false;
    const DeviceUsers users = UsersOf(device, fd);
    if (!users.processes.empty() || locked || users.unseen) {
        reason = !users.processes.empty() ? UsersText(users)
                 : users.unseen           ? "held by another user's program"
                                          : "held by another program";
        return true;
    }
    ::ioctl(fd, TIOCNXCL);
    return false;
}

// A pseudo-terminal's slave (Unix98's majors 136-143, the old BSD ones' 3).
// It keeps an exclusive mark after its holder has ended, for as long as its
// other end is open, and only root may open past it: a copy killed with the
// mark set would shut out every later copy of an ordinary user. There the
// flock and the lock file, which end with their holder, keep others out.
bool pseudoTerminal(int fd)
{
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISCHR(info.st_mode)) return false;
    const unsigned int kind = major(info.st_rdev);
    return kind == 3 || (kind >= 136 && kind <= 143);
}

}  // namespace

int ClaimSerialDevice(const std::string& device, SerialAccess access, const SerialLine& line, SerialClaim& claim,
                      std::string& reason)
{
    // Another program's lock: the device is not even opened (an open may
    // change its modem lines).
    if (const std::optional<LockHolder> holder = LockHolderOf(device)) {
        reason = HolderText(*holder);
        return kComCannotOpen;
    }
    // Non-blocking, so that a modem line that is down does not hold the open.
    const int flags = (access == SerialAccess::ReadWrite ? O_RDWR : O_RDONLY) | O_NOCTTY | O_NONBLOCK | O_CLOEXEC;
    const int fd = ::open(device.c_str(), flags);
    if (fd < 0) {
        const int error = errno;
        reason = error == EBUSY ? refusedExclusive(device) : std::strerror(error);
        return openResult(error);
    }
    int refused = 0;
    std::optional<LockHolder> holder;
    if (heldElsewhere(fd, device, reason)) {
        refused = kComCannotOpen;
    } else if ((refused = setLine(fd, line, reason)) == 0) {
        if (!pseudoTerminal(fd)) ::ioctl(fd, TIOCEXCL);
        claim.lockFile = TakeLock(device, holder);
        if (holder) {
            // Locked by a program that came meanwhile: it goes first.
            reason = HolderText(*holder);
            refused = kComCannotOpen;
            ::ioctl(fd, TIOCNXCL);
        }
    }
    if (refused) {
        ::close(fd);
        return refused;
    }
    claim.fd = fd;
    return 0;
}

void ReleaseSerialDevice(SerialClaim& claim)
{
    if (claim.fd < 0) return;
    // A pseudo-terminal keeps the exclusive mode after the close while its
    // other side is open: cleared, as the last close of a port clears it.
    ::ioctl(claim.fd, TIOCNXCL);
    ::close(claim.fd);
    DropLock(claim.lockFile);
    claim = {};
}
