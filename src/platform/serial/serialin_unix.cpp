// A console program's serial input on Unix (quorvex-record): the port
// opened for reading (for a cable test or a CAN gateway's commands,
// writing too), through the claim the program's ports use.
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "../runtime.h"
#include "serialclaim.h"
#include "serialdevice.h"

int OpenSerialIn(SerialIn& in, const std::string& name, int baud, std::string& device, std::string& reason,
                 SerialInUse use)
{
    device = SystemDevicePath(name);
    // The program's own checks and claim: the same refusals, in the same words.
    if (int refused = CheckSerialDevice(device, reason)) return refused;
    SerialClaim claim;
    if (int refused = ClaimSerialDevice(device, use == SerialInUse::Read ? SerialAccess::Read : SerialAccess::ReadWrite,
                                         SerialLine{baud}, claim, reason)) return refused;
    in.handle = claim.fd;
    in.lockFile = claim.lockFile;
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

long long WriteSerialIn(SerialIn& in, std::span<const char> bytes, int timeoutMs, std::string& reason)
{
    // The descriptor is non-blocking: wait for room, a slice of the time at a time.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t count = ::write(int(in.handle), bytes.data() + done, bytes.size() - done);
        if (count > 0) {
            done += std::size_t(count);
            continue;
        }
        if (count < 0 && errno != EAGAIN && errno != EINTR) {
            reason = std::strerror(errno);
            return -1;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        pollfd fd{int(in.handle), POLLOUT, 0};
        ::poll(&fd, 1, int(left.count()));
        if (fd.revents & (POLLHUP | POLLERR | POLLNVAL)) {
            reason = "the device has gone (hung up)";
            return -1;
        }
    }
    return (long long)done;
}

void CloseSerialIn(SerialIn& in)
{
    SerialClaim claim{int(in.handle), in.lockFile};
    ReleaseSerialDevice(claim);
    in = {};
}
