#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "runtime.h"
#include "serialdevice.h"
#include "comnumbers.h"

std::string SystemComName(int port)
{
    // COM n is the n-th port present, numbered as Windows would; none: no device.
    const std::vector<PresentPort> ports = NumberPorts(ListedPorts());
    return port >= 1 && size_t(port) <= ports.size() ? ports[size_t(port) - 1].device : std::string();
}

std::string SystemDevicePath(const std::string& name)
{
    if (name.empty() || name.front() == '/') return name;
    std::error_code error;
    std::filesystem::path absolute = std::filesystem::absolute(name, error);
    return error ? name : absolute.string();
}

int CheckSerialDevice(const std::string& device, std::string& reason)
{
    struct stat info {};
    if (::stat(device.c_str(), &info) != 0) {
        const int error = errno;
        reason = std::strerror(error);
        if (error == EACCES) return kComCannotOpen;
        // A name too long to name anything is, like a missing one, no device.
        return kComNotFound;
    }
    if (!S_ISCHR(info.st_mode)) {
        reason = "not a serial device";
        return kComBadSettings;
    }
    return 0;
}

bool DeviceHungUp(long long handle)
{
    pollfd fd{int(handle), POLLOUT, 0};
    if (poll(&fd, 1, 0) < 0) return true;
    return (fd.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}

long long WriteNow(long long handle, std::span<const char> bytes)
{
    // Qt opens serial devices non-blocking: a full driver buffer returns EAGAIN.
    ssize_t written = ::write(int(handle), bytes.data(), bytes.size());
    return written < 0 ? 0 : written;
}

long long UnsentInDriver(long long handle)
{
    int count = 0;
    return ::ioctl(int(handle), TIOCOUTQ, &count) == 0 ? count : 0;
}

void WaitWritable(long long handle, int ms)
{
    pollfd fd{int(handle), POLLOUT, 0};
    ::poll(&fd, 1, ms);
}
