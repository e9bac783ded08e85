#include <poll.h>
#include <unistd.h>

#include "serialdevice.h"
#include "comnumbers.h"

std::string SystemComName(int port)
{
    // COM n is the n-th port present, numbered as Windows would; none: no device.
    const std::vector<PresentPort> ports = NumberPorts(ListedPorts());
    return port >= 1 && size_t(port) <= ports.size() ? ports[size_t(port) - 1].device : std::string();
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
