#include "status.h"

#include "../platform/runtime.h"
#include "../ui/quorvex.h"
#include "startup.h"

unsigned char visible = 1;
int blinkCount = 0;

namespace {
// Four quarter-second ticks: the binary stream blinks once a second, as the text stream does.
constexpr int kTicksPerBlink = 4;
}

void ShowIdle()
{
    SetCtrlVal(spanel, TEXT, "IDLE");
    SetSystemAttribute(ATTR_TASKBAR_BUTTON_TEXT, "Idle");
    SetCtrlAttribute(spanel, TEXT, ATTR_VISIBLE, 1);
}

void ShowSimulating()
{
    SetCtrlVal(spanel, TEXT, "SIMULATING");
    SetSystemAttribute(ATTR_TASKBAR_BUTTON_TEXT, "Simulating");
}

void BlinkStep()
{
    visible = visible == 0 ? 1 : 0;
    ShowSimulating();
    SetCtrlAttribute(spanel, TEXT, ATTR_VISIBLE, visible);
}

void CountBinaryTick()
{
    if (++blinkCount >= kTicksPerBlink) {
        BlinkStep();
        blinkCount = 0;
    }
}
