// The two streams of a device: a text record a second, a 50-byte chunk every
// quarter second, each from the device's data file, in an endless loop.
#pragma once

#include <cstdint>

#include "../app/device.h"

// Reads the device's next record into its line buffer; at the end of the
// file, the file starts over and its first line is read in this same tick.
void ReadRecord(Device& device);
// Sends the record read this tick, with CR LF, in one write.
void SendRecord(Device& device);
// One tick of the binary stream: the next 50 bytes of the recording.
void SendChunk(Device& device);
// Counts a write's result as the device's: queued whole, or dropped whole
// for want of room in the port's queue.
void CountWrite(Device& device, int result);

// The window's record and read position.
extern char (&lineBuffer)[kLineBufferSize];
extern int& lineLength;
extern std::int64_t& pos;

void updateFiledAnalogIns();
void sendSerialData();

int ATimerTick(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int DTimerTick(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
