#include "window_status.h"

#include "../platform/runtime.h"
#include "../serial/comcfg.h"
#include "../ui/quorvex.h"
#include "startup.h"
#include "status.h"
#include "statustip.h"

unsigned char& visible = windowDevice.visible;
int& blinkCount = windowDevice.blinkCount;

namespace {

class MainPanelView final : public DeviceView {
public:
    void showIdle(Device&) override
    {
        SetCtrlVal(spanel, TEXT, "IDLE");
        SetSystemAttribute(ATTR_TASKBAR_BUTTON_TEXT, "Idle");
        SetCtrlAttribute(spanel, TEXT, ATTR_VISIBLE, 1);
    }
    void showSimulating(Device&) override
    {
        SetCtrlVal(spanel, TEXT, "SIMULATING");
        SetSystemAttribute(ATTR_TASKBAR_BUTTON_TEXT, "Simulating");
    }
    void showPhase(Device& device) override
    {
        showSimulating(device);
        SetCtrlAttribute(spanel, TEXT, ATTR_VISIBLE, device.visible);
    }
    void setTicking(Device&, Ticking ticking) override
    {
        // The one that stops goes off first.
        const bool text = ticking == Ticking::Text;
        SetCtrlAttribute(spanel, text ? DTIMER : ATIMER, ATTR_ENABLED, 0);
        SetCtrlAttribute(spanel, text ? ATIMER : DTIMER, ATTR_ENABLED, ticking == Ticking::None ? 0 : 1);
    }
    void comFailed(Device& device, int code, int port) override
    {
        MessagePopup("COM Error", comErrorMessage(code, port), comErrorDetail(device, code, port));
    }
};

}  // namespace

DeviceView& WindowView()
{
    static MainPanelView view;
    return view;
}

std::string StatusTip() { return StatusTip(windowDevice); }
