// A device's port: opened with its format's line settings, re-opened on every
// change of port, baud or format, and reported when it will not open or goes.
#pragma once

#include <string>

struct Device;

// Closes portToClose (0: none), opens portToOpen for the device's format and
// starts that format's clock. Returns 1 when streaming, 0 on failure, which
// stops the clock, shows idle and is reported through the device's view.
int OpenDevicePort(Device& device, int portToClose, int portToOpen);
// Stops both of the device's clocks.
void StopTicking(Device& device);
// Called, from the event loop, when an open port goes away under a device.
void comPortLost(int port);

// The text of the "COM Error" box for an open result of a port.
std::string comErrorMessage(int code, int port);
// Its detailed text: which device the device's port is, and the system's reason.
std::string comErrorDetail(const Device& device, int code, int port);

// The window's port: the one in use, or the one last tried.
extern int& comport;

// The window's: closes portToClose (0: none), opens portToOpen for the format
// the main panel shows and starts that format's timer. Returns 1 when
// streaming, 0 on failure.
int openComCfg(int portToClose, int portToOpen);

int setCom(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int ServiceBaud(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
