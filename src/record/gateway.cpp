#include "gateway.h"

#include <iterator>

namespace {

// SLCAN's bitrate table: S0 to S8.
constexpr int kBitrates[] = {10000, 20000, 50000, 100000, 125000, 250000, 500000, 800000, 1000000};
// Long enough for a gateway at 115200 baud to take a command, short enough
// that a port which cannot send holds nothing up.
constexpr int kCommandTimeoutMs = 500;

std::string send(SerialIn& port, const std::string& command)
{
    std::string reason;
    const std::string line = command + "\r";
    const long long sent = WriteSerialIn(port, line, kCommandTimeoutMs, reason);
    if (sent == (long long)line.size()) return {};
    return "could not send " + command + " to the gateway: " + (sent < 0 ? reason : "the port took no more");
}

}  // namespace

int SlcanBitrateCode(int bitsPerSecond)
{
    for (std::size_t i = 0; i < std::size(kBitrates); ++i)
        if (kBitrates[i] == bitsPerSecond) return int(i);
    return -1;
}

std::string OpenGateway(SerialIn& port, int bitsPerSecond)
{
    const std::string bitrate{'S', char('0' + SlcanBitrateCode(bitsPerSecond))};
    if (std::string failed = send(port, bitrate); !failed.empty()) return failed;
    return send(port, "O");
}

void CloseGateway(SerialIn& port) { send(port, "C"); }

std::span<const char> GatewayAnswers::strip(std::span<const char> bytes)
{
    while (!done_ && !bytes.empty()) {
        if (bytes.front() == '\a') ++refused_;
        else if (bytes.front() != '\r') done_ = true;
        if (!done_) bytes = bytes.subspan(1);
    }
    return bytes;
}
