#include "paramlists.h"

#include "../app/formats.h"
#include "../app/startup.h"
#include "../platform/runtime.h"
#include "quorvex.h"

int ShowPanel(int /*panel*/, int /*control*/, int event, void*, int, int)
{
    if (event != EVENT_COMMIT) return 0;
    int format = 0;
    GetCtrlVal(spanel, FORMAT, format);
    const DeviceFormat* row = LookupFormat(format);
    if (!row) return 0;
    if (row->listPanel) {
        // Every press opens another copy; each lives until its own close button.
        int list = LoadPanel(0, kUirFile, row->listPanel);
        if (list > 0) DisplayPanel(list);
    } else {
        MessagePopup(row->boxTitle, row->boxText);
    }
    return 0;
}

int HideThisPanel(int panel, int /*control*/, int event, void*, int, int)
{
    if (event == EVENT_COMMIT) DiscardPanel(panel);
    return 0;
}
