// The status a device shows: "IDLE" or a blinking "SIMULATING" in the window
// (its status text and taskbar text), a state in a player's line. The rules
// are here; what shows them is the device's view.
#pragma once

#include "device.h"

void ShowIdle(Device& device);
// Idle because the port could not be opened, or was lost: code is the open
// result the "COM Error" box reports, for the status tooltip.
void ShowComError(Device& device, int code);
void ShowSimulating(Device& device);
// Idle on a tick that found no recording to send (the data file is missing or
// yields no record): the system may sleep until a record or chunk goes out.
void ShowNothingToSend(Device& device);
// The blink step of the text stream: one a record read.
void BlinkStep(Device& device);
// Counts one binary timer tick; every fourth makes a blink step.
void CountBinaryTick(Device& device);

// The window's blink: its phase (1 shown, 0 hidden) and the binary timer
// ticks since its last step.
extern unsigned char& visible;
extern int& blinkCount;
