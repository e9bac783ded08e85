#include "comcfg.h"

#include "../app/device.h"
#include "../app/formats.h"
#include "../app/status.h"
#include "../platform/runtime.h"
#include "comerror.h"

namespace {

void setTicking(Device& device, Ticking ticking)
{
    device.ticking = ticking;
    if (device.view) device.view->setTicking(device, ticking);
}

void reportFailure(Device& device, int code, int port)
{
    // The clock stops before the report: a box's own event loop would go on
    // running the window's timers.
    StopTicking(device);
    ShowComError(device, code);
    if (device.view) device.view->comFailed(device, code, port);
}

// "COM3", or nothing for a device named by its path.
std::string comName(const Device& device, int port)
{
    return device.portName.empty() ? "COM" + std::to_string(port) : std::string();
}

}  // namespace

void StopTicking(Device& device) { setTicking(device, Ticking::None); }

std::string comErrorMessage(int code, int port) { return ComOpenMessage(code, ComErrorDetail(port)); }

std::string comErrorDetail(const Device& device, int code, int port)
{
    return ComOpenDetail(code, comName(device, port), ComErrorDevice(port), ComErrorDetail(port));
}

int OpenDevicePort(Device& device, int portToClose, int portToOpen)
{
    if (portToClose != 0) CloseCom(portToClose);
    if (!device.format) {
        StopTicking(device);
        ShowIdle(device);
        return 0;
    }
    const int result = OpenComConfig(portToOpen, device.portName, LineBaud(device), Parity::None, 8, 1, kComQueueSize,
                                     kComQueueSize);
    if (result != 0) {
        reportFailure(device, result, portToOpen);
        return 0;
    }
    setTicking(device, device.format->timer == StreamTimer::Text ? Ticking::Text : Ticking::Binary);
    ShowSimulating(device);
    return 1;
}

void comPortLost(int port)
{
    // A network port that never connected could not be opened; any other was lost while open.
    const int code = ComLostCode(port) == kComCannotOpen ? kComCannotOpen : kComNotFound;
    for (Device* device : Devices())
        if (device->comport == port) reportFailure(*device, code, port);
}
