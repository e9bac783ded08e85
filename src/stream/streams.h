// The two streams: a text record a second, a 50-byte chunk every quarter second.
#pragma once

#include <cstdint>

// Longest line sent; the rest of a longer line is skipped.
inline constexpr int kMaxLineChars = 2047;
// The line, CR LF and a terminating zero.
inline constexpr int kLineBufferSize = kMaxLineChars + 3;
inline constexpr int kChunkSize = 50;
// A chunk is sent only when one more byte than the chunk remains.
inline constexpr int kChunkWrapMargin = 51;

extern char lineBuffer[kLineBufferSize];
// Length of the record in lineBuffer without CR LF; -1 when this tick read none.
extern int lineLength;
// Index of the next byte of the recording to send.
extern std::int64_t pos;

void updateFiledAnalogIns();
void sendSerialData();

int ATimerTick(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int DTimerTick(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
