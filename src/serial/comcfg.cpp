#include "comcfg.h"

#include "../app/formats.h"
#include "../app/startup.h"
#include "../app/status.h"
#include "../platform/runtime.h"
#include "../ui/quorvex.h"
#include "comerror.h"

int comport = 1;

namespace {

void stopStreaming()
{
    SetCtrlAttribute(spanel, ATIMER, ATTR_ENABLED, 0);
    SetCtrlAttribute(spanel, DTIMER, ATTR_ENABLED, 0);
}

void reportFailure(int code, int port)
{
    // Timers go off before the box: its own event loop would go on running their ticks.
    stopStreaming();
    ShowComError(code);
    MessagePopup("COM Error", comErrorMessage(code, port), comErrorDetail(code, port));
}

void startTimerOf(const DeviceFormat& format)
{
    const bool text = format.timer == StreamTimer::Text;
    SetCtrlAttribute(spanel, text ? DTIMER : ATIMER, ATTR_ENABLED, 0);
    SetCtrlAttribute(spanel, text ? ATIMER : DTIMER, ATTR_ENABLED, 1);
}

}  // namespace

std::string comErrorMessage(int code, int port) { return ComOpenMessage(code, ComErrorDetail(port)); }

std::string comErrorDetail(int code, int port)
{
    return ComOpenDetail(code, "COM" + std::to_string(port), ComErrorDevice(port), ComErrorDetail(port));
}

int openComCfg(int portToClose, int portToOpen)
{
    if (portToClose != 0) CloseCom(portToClose);
    int formatValue = 0;
    int baud19200 = 0;
    GetCtrlVal(spanel, FORMAT, formatValue);
    GetCtrlVal(spanel, BAUD1, baud19200);
    const DeviceFormat* format = LookupFormat(formatValue);
    if (!format) {
        stopStreaming();
        ShowIdle();
        return 0;
    }
    int result = OpenComConfig(portToOpen, "", FormatBaud(*format, baud19200 != 0), Parity::None, 8, 1,
                               kComQueueSize, kComQueueSize);
    if (result != 0) {
        reportFailure(result, portToOpen);
        return 0;
    }
    startTimerOf(*format);
    ShowSimulating();
    return 1;
}

void comPortLost(int port)
{
    // A network port that never connected could not be opened; any other was lost while open.
    if (port == comport) reportFailure(ComLostCode(port) == kComCannotOpen ? kComCannotOpen : kComNotFound, port);
}

int setCom(int /*panel*/, int /*control*/, int event, void*, int, int)
{
    if (event != EVENT_COMMIT) return 0;
    int portToClose = comport;
    GetCtrlVal(spanel, COM, comport);
    openComCfg(portToClose, comport);
    return 0;
}

int ServiceBaud(int panel, int control, int event, void*, int, int)
{
    if (event != EVENT_VAL_CHANGED) return 0;
    int state = 0;
    GetCtrlVal(panel, control, state);
    // Exactly one of the two is on after every click, whichever way it went.
    SetCtrlVal(panel, control == BAUD1 ? BAUD2 : BAUD1, state == 0 ? 1 : 0);
    int portToClose = comport;
    GetCtrlVal(spanel, COM, comport);
    openComCfg(portToClose, comport);
    return 0;
}
