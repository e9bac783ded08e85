#include "status.h"

#include "awake.h"
#include "statustip.h"

namespace {

// Four quarter-second ticks: the binary stream blinks once a second, as the text stream does.
constexpr int kTicksPerBlink = 4;

// The blink itself, on every tick that sends: staying awake changes only when
// this is the first record or chunk sent after ticks that had none.
void blink(Device& device)
{
    if (device.nothingToSend) {
        device.nothingToSend = false;
        StayAwakeWhileStreaming();
    }
    device.visible = device.visible == 0 ? 1 : 0;
    if (device.view) device.view->showPhase(device);
}

}  // namespace

void ShowIdle(Device& device)
{
    if (device.view) device.view->showIdle(device);
    StayAwakeWhileStreaming();
}

void ShowNothingToSend(Device& device)
{
    device.nothingToSend = true;
    ShowIdle(device);
}

void ShowComError(Device& device, int code)
{
    device.lastFailure = code;
    ShowIdle(device);
}

void ShowSimulating(Device& device)
{
    if (device.view) device.view->showSimulating(device);
    StayAwakeWhileStreaming();
}

void BlinkStep(Device& device)
{
    blink(device);
    NoteTextRecord(device);
}

void CountBinaryTick(Device& device)
{
    if (++device.blinkCount >= kTicksPerBlink) {
        blink(device);
        device.blinkCount = 0;
    }
}
