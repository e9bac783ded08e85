#include "streams.h"

#include <span>

#include "../app/status.h"
#include "../platform/runtime.h"
#include "../serial/comcfg.h"
#include "datafile.h"

char lineBuffer[kLineBufferSize];
int lineLength = -1;
std::int64_t pos = 0;

namespace {

int readRecord() { return ReadLine(fileHandle, lineBuffer, kMaxLineChars); }

}  // namespace

void updateFiledAnalogIns()
{
    lineLength = -1;
    if (fileHandle == 0) return;
    int read = readRecord();
    // A file rewritten, truncated or replaced under the stream starts over
    // from its first line: what was read may be partly the old file's, read
    // ahead before the change, and no line of the file as it is now. Lines
    // appended to it are read on. The user's own recording put in while the
    // sample streams takes over the same way.
    if (read >= 0 && (FileRewritten(fileHandle) || dataFileAppearedFirst())) read = -1;
    if (read < 0) {
        // End of file, a read error or a changed file: start again from the
        // first line in this same tick. A file that yields nothing even then
        // is tried again on the next tick, not in a loop.
        reopenTextFile();
        read = fileHandle > 0 ? readRecord() : -1;
        if (read < 0) {
            ShowNothingToSend();
            return;
        }
        ShowIdle();  // the seam of the loop: "IDLE", then "SIMULATING" below
    }
    lineLength = read;
    BlinkStep();
}

void sendSerialData()
{
    if (lineLength < 0) return;
    // The length read, not the first zero: a NUL inside a line goes out too.
    lineBuffer[lineLength] = '\r';
    lineBuffer[lineLength + 1] = '\n';
    lineBuffer[lineLength + 2] = '\0';
    ComWrt(comport, std::span<const char>(lineBuffer, std::size_t(lineLength) + 2));
}

int ATimerTick(int /*panel*/, int /*control*/, int event, void*, int, int)
{
    if (event != EVENT_TIMER_TICK) return 0;
    updateFiledAnalogIns();
    sendSerialData();
    return 0;
}

int DTimerTick(int /*panel*/, int /*control*/, int event, void*, int, int)
{
    if (event != EVENT_TIMER_TICK) return 0;
    watchRecording();
    if (!loopData || fileSize < kChunkWrapMargin) {
        ShowNothingToSend();
        return 0;
    }
    if (pos + kChunkWrapMargin > fileSize) pos = 0;
    // One write per chunk: the output queue takes it whole or drops it whole.
    const char* chunk = reinterpret_cast<const char*>(loopData.get()) + pos;
    ComWrt(comport, std::span<const char>(chunk, kChunkSize));
    pos += kChunkSize;
    CountBinaryTick();
    return 0;
}
