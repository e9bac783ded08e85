// The "Show Parameter List" button and the list windows' close button.
#pragma once

int ShowPanel(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int HideThisPanel(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
