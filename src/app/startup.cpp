#include "startup.h"

#include "../platform/runtime.h"
#include "../serial/comcfg.h"
#include "../stream/datafile.h"
#include "../ui/quorvex.h"
#include "awake.h"
#include "window_status.h"

int spanel = 0;
Device windowDevice(&WindowView());

bool startUp()
{
    spanel = LoadPanel(0, kUirFile, PANEL);
    if (spanel <= 0) {
        MessagePopup("Quorvex", "The main window could not be loaded.");
        return false;
    }
    InstallComLostHandler(comPortLost);
    openComCfg(0, comport);
    // The data file is loaded whether or not the port opened, so that the
    // stream starts as soon as the user picks a port that works.
    openFile();
    ShowIfNothingToSend(windowDevice);
    DisplayPanel(spanel);
    return true;
}

void shutDown()
{
    ReleaseDevice(windowDevice);  // its file, its port and its recording
    StayAwakeWhileStreaming();    // the port is closed: the system may sleep again
    DiscardPanel(spanel);
    spanel = 0;
}

int closeApp(int /*panel*/, int /*control*/, int event, void*, int, int)
{
    if (event == EVENT_COMMIT) QuitUserInterface(0);
    return 0;
}
