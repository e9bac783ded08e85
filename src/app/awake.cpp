#include "awake.h"

#include "../platform/runtime.h"
#include "device.h"
#include "formats.h"
#include "statustip.h"

namespace {

bool holding = false;
const Device* heldDevice = nullptr;
const DeviceFormat* heldFormat = nullptr;
int heldPort = 0;
int requests = 0;
std::string reasonGiven;

// What the system shows as the reason: "Streaming Velmara blender records to
// COM1 (/dev/ttyUSB0)", or "... messages to COM1" for an engine controller on
// Windows, where the port's own name is COM1.
std::string reasonOf(const Device& device)
{
    std::string why = "Streaming ";
    if (device.format)
        why += std::string(device.format->device) + (device.format->kind == FileKind::Text ? " records" : " messages");
    else why += "records";
    return why + " to " + PortShownName(device);
}

}  // namespace

bool Streaming(const Device& device)
{
    return device.ticking != Ticking::None && GetOutQLen(device.comport) >= 0 && !device.nothingToSend;
}

void StayAwakeWhileStreaming()
{
    const Device* streaming = nullptr;
    for (const Device* device : Devices()) {
        if (Streaming(*device)) {
            streaming = device;
            break;
        }
    }
    if (!streaming) {
        if (holding) LetSystemSleep();
        holding = false;
        heldDevice = nullptr;
        return;
    }
    const bool same = streaming == heldDevice && streaming->format == heldFormat && streaming->comport == heldPort;
    if (holding && (same || !reasonGiven.empty())) return;
    holding = true;
    heldDevice = streaming;
    heldFormat = streaming->format;
    heldPort = streaming->comport;
    ++requests;
    KeepSystemAwake(reasonGiven.empty() ? reasonOf(*streaming) : reasonGiven);
}

void SetStayAwakeReason(std::string why) { reasonGiven = std::move(why); }

bool KeepingAwake() { return holding; }

int AwakeRequests() { return requests; }
