// Start-up and shutdown of the program, and the main window's close control.
#pragma once

// Handle of the main panel.
extern int spanel;

// Loads the main panel, opens the port and the data file, shows the panel.
// Returns false when the main panel cannot be loaded.
bool startUp();
// Releases the data file, the port, the recording and the main panel.
void shutDown();

int closeApp(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
