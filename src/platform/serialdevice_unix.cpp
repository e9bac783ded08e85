#include <poll.h>
#include <unistd.h>

#include "serialdevice.h"

std::string SystemComName(int port)
{
    // The first serial port of a PC is ttyS0.
    return "/dev/ttyS" + std::to_string(port - 1);
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
