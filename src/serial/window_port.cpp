// The main panel's port: the COM ring and the baud toggles over the window's device.
#include "../app/device.h"
#include "../app/formats.h"
#include "../app/startup.h"
#include "../platform/runtime.h"
#include "../stream/datafile.h"
#include "../ui/quorvex.h"
#include "comcfg.h"

int& comport = windowDevice.comport;

int openComCfg(int portToClose, int portToOpen)
{
    int formatValue = 0;
    int baud19200 = 0;
    GetCtrlVal(spanel, FORMAT, formatValue);
    GetCtrlVal(spanel, BAUD1, baud19200);
    windowDevice.format = LookupFormat(formatValue);
    windowDevice.textBaud = baud19200 ? 19200 : 9600;
    return OpenDevicePort(windowDevice, portToClose, portToOpen);
}

namespace {

// The port the COM ring shows, opened anew in place of the one streaming.
void reopen()
{
    const int portToClose = comport;
    GetCtrlVal(spanel, COM, comport);
    openComCfg(portToClose, comport);
    ShowIfNothingToSend(windowDevice);
}

}  // namespace

int setCom(int /*panel*/, int /*control*/, int event, void*, int, int)
{
    if (event != EVENT_COMMIT) return 0;
    reopen();
    return 0;
}

int ServiceBaud(int panel, int control, int event, void*, int, int)
{
    if (event != EVENT_VAL_CHANGED) return 0;
    int state = 0;
    GetCtrlVal(panel, control, state);
    // Exactly one of the two is on after every click, whichever way it went.
    SetCtrlVal(panel, control == BAUD1 ? BAUD2 : BAUD1, state == 0 ? 1 : 0);
    reopen();
    return 0;
}
