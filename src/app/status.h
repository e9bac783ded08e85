// The status the user sees: the main panel's status text and the taskbar text.
#pragma once

// Phase of the blink: 1 shown, 0 hidden.
extern unsigned char visible;
// Binary timer ticks since the last blink step.
extern int blinkCount;

void ShowIdle();
// Idle because the port could not be opened, or was lost: code is the open
// result the "COM Error" box reports, for the status tooltip.
void ShowComError(int code);
void ShowSimulating();
// Idle on a tick that found no recording to send (the data file is missing or
// yields no record): the system may sleep until a record or chunk goes out.
void ShowNothingToSend();
bool NothingToSend();
// The blink step of the text stream: one a record read.
void BlinkStep();
// Counts one binary timer tick; every fourth makes a blink step.
void CountBinaryTick();
