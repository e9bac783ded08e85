#include "status.h"

#include "../platform/runtime.h"
#include "../ui/quorvex.h"
#include "awake.h"
#include "startup.h"
#include "statustip.h"

unsigned char visible = 1;
int blinkCount = 0;

namespace {
// Four quarter-second ticks: the binary stream blinks once a second, as the text stream does.
constexpr int kTicksPerBlink = 4;

void showSimulatingTexts()
{
    SetCtrlVal(spanel, TEXT, "SIMULATING");
    SetSystemAttribute(ATTR_TASKBAR_BUTTON_TEXT, "Simulating");
}

// The blink itself, on every tick that sends: it changes nothing about whether
// the program streams, so it leaves staying awake alone.
void blink()
{
    visible = visible == 0 ? 1 : 0;
    showSimulatingTexts();
    SetCtrlAttribute(spanel, TEXT, ATTR_VISIBLE, visible);
}
}  // namespace

void ShowIdle()
{
    SetCtrlVal(spanel, TEXT, "IDLE");
    SetSystemAttribute(ATTR_TASKBAR_BUTTON_TEXT, "Idle");
    SetCtrlAttribute(spanel, TEXT, ATTR_VISIBLE, 1);
    StayAwakeWhileStreaming();
}

void ShowComError(int code)
{
    NoteComFailure(code);
    ShowIdle();
}

void ShowSimulating()
{
    showSimulatingTexts();
    StayAwakeWhileStreaming();
}

void BlinkStep()
{
    blink();
    NoteTextRecord();
}

void CountBinaryTick()
{
    if (++blinkCount >= kTicksPerBlink) {
        blink();
        blinkCount = 0;
    }
}
