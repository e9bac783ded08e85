// Serial CAN gateways that speak SLCAN (most USB-CAN adapters) send nothing
// until they are told the bus's bitrate ("S5" for 250 kbit/s, J1939's) and
// to open the channel ("O"); "C" closes it again. Each command ends in CR,
// and the gateway answers each with CR, or with BEL for one it refuses.
#pragma once

#include <span>
#include <string>

#include "../platform/runtime.h"

// J1939's bitrate.
inline constexpr int kJ1939Bitrate = 250000;

// The digit of SLCAN's bitrate command for bits a second (5 for 250000), or
// -1 for a rate its table lacks.
int SlcanBitrateCode(int bitsPerSecond);

// Sends the bitrate and open commands. Returns "" or what went wrong.
std::string OpenGateway(SerialIn& port, int bitsPerSecond);

// Sends the close command, as far as the port still takes it: one that has
// gone cannot.
void CloseGateway(SerialIn& port);

// The gateway's answers to the commands come before its first frame and are
// none of the recording's.
class GatewayAnswers {
public:
    // bytes with the answers before the first frame taken off the front.
    std::span<const char> strip(std::span<const char> bytes);
    // How many commands the gateway refused.
    int refused() const { return refused_; }

private:
    bool done_ = false;
    int refused_ = 0;
};
