#include "status.h"

#include "../platform/runtime.h"
#include "../ui/quorvex.h"
#include "awake.h"
#include "startup.h"
#include "statustip.h"

unsigned char visible = 1;
int blinkCount = 0;

namespace {
// Set while the timer finds no recording to send, cleared by the next record
// or chunk that goes out: only a stream that sends keeps the system awake.
bool nothingToSend = false;

// Four quarter-second ticks: the binary stream blinks once a second, as the text stream does.
constexpr int kTicksPerBlink = 4;

void showSimulatingTexts()
{
    SetCtrlVal(spanel, TEXT, "SIMULATING");
    SetSystemAttribute(ATTR_TASKBAR_BUTTON_TEXT, "Simulating");
}

// The blink itself, on every tick that sends: staying awake changes only when
// this is the first record or chunk sent after ticks that had none.
void blink()
{
    if (nothingToSend) {
        nothingToSend = false;
        StayAwakeWhileStreaming();
    }
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

void ShowNothingToSend()
{
    nothingToSend = true;
    ShowIdle();
}

bool NothingToSend() { return nothingToSend; }

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
