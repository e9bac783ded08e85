// The COM port: opened with the chosen format's line settings, re-opened on
// every change of port, baud or format.
#pragma once

#include <string>

// The port in use, or the one last tried.
extern int comport;

// Closes portToClose (0: none), opens portToOpen for the format the main panel
// shows and starts that format's timer. Returns 1 when streaming, 0 on failure.
int openComCfg(int portToClose, int portToOpen);

// The text of the "COM Error" box for an open result of port.
std::string comErrorMessage(int code, int port);
// Its detailed text: which device COM n is, and the system's reason.
std::string comErrorDetail(int code, int port);

// Called when the open port goes away while streaming.
void comPortLost(int port);

int setCom(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int ServiceBaud(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
