// Start-up and shutdown of the program, and the main window's close control.
#pragma once

#include "device.h"

// Handle of the main panel.
extern int spanel;
// The device the window stands in for.
extern Device windowDevice;

// Loads the main panel, opens the port and the data file, shows the panel.
// Returns false when the main panel cannot be loaded.
bool startUp();
// Releases the data file, the port, the recording and the main panel; the
// window's device is as it was at start.
void shutDown();

int closeApp(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
