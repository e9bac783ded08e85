// Serial ports on the network: `rfc2217://HOST:PORT` (a serial device server
// or ser2net speaking RFC 2217: the line set through the protocol) and
// `tcp://HOST:PORT` (raw bytes to a server in TCP mode). Such a port holds no
// lock file and passes no device checks; it is open as soon as its connect
// has begun, and ready once connected (SerialIo::ready).
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "serialio.h"

// Whether a port name is a network port's (its form is checked at the open).
bool IsNetworkPortName(std::string_view name);

// Starts connecting to the port a network name means, without waiting. A
// name that is malformed is refused with kComBadSettings and the reason; a
// connect that fails later is a lost port (Events::lost, SerialIo::loss).
std::unique_ptr<SerialIo> OpenNetworkIo(const std::string& name, const SerialLine& line, std::size_t queueSize,
                                        SerialIo::Events events, int& result, std::string& reason);
