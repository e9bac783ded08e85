#include "awake.h"

#include <string>

#include "../platform/runtime.h"
#include "../serial/comcfg.h"
#include "../ui/quorvex.h"
#include "formats.h"
#include "startup.h"
#include "status.h"
#include "statustip.h"

namespace {

bool holding = false;
int heldFormat = -1;
int heldPort = 0;
int requests = 0;

bool streaming()
{
    int text = 0, binary = 0;
    GetCtrlAttribute(spanel, ATIMER, ATTR_ENABLED, text);
    GetCtrlAttribute(spanel, DTIMER, ATTR_ENABLED, binary);
    return (text || binary) && GetOutQLen(comport) >= 0 && !NothingToSend();
}

// What the system shows as the reason: "Streaming Velmara blender records to
// COM1 (/dev/ttyUSB0)", or "... messages to COM1" for an engine controller on
// Windows, where the port's own name is COM1.
std::string reason(int formatValue, int port)
{
    const DeviceFormat* format = LookupFormat(formatValue);
    std::string why = "Streaming ";
    if (format) why += std::string(format->device) + (format->kind == FileKind::Text ? " records" : " messages");
    else why += "records";
    return why + " to " + PortShownName(port);
}

}  // namespace

void StayAwakeWhileStreaming()
{
    if (!streaming()) {
        if (holding) LetSystemSleep();
        holding = false;
        return;
    }
    int format = 0;
    GetCtrlVal(spanel, FORMAT, format);
    if (holding && format == heldFormat && comport == heldPort) return;
    holding = true;
    heldFormat = format;
    heldPort = comport;
    ++requests;
    KeepSystemAwake(reason(format, comport));
}

bool KeepingAwake() { return holding; }

int AwakeRequests() { return requests; }
