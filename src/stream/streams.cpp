#include "streams.h"

#include <span>

#include "../app/status.h"
#include "../platform/runtime.h"
#include "datafile.h"

namespace {

int readLine(Device& device) { return ReadLine(device.fileHandle, device.lineBuffer, kMaxLineChars); }

// Whether the stream goes on from the recording's start: a device may end at
// the end of its recording (a player told to send it so many times).
bool startOver(Device& device, bool changed)
{
    if (!changed) ++device.loops;
    return !device.view || device.view->startOver(device, changed);
}

}  // namespace

void CountWrite(Device& device, int result)
{
    if (result > 0) ++device.sent;
    else if (result == 0) ++device.notSent;
}

void ReadRecord(Device& device)
{
    device.lineLength = -1;
    if (device.fileHandle == 0) return;
    int read = readLine(device);
    // A file rewritten, truncated or replaced under the stream starts over
    // from its first line: what was read may be partly the old file's, read
    // ahead before the change, and no line of the file as it is now. Lines
    // appended to it are read on. The user's own recording put in while the
    // sample streams takes over the same way.
    const bool changed = read >= 0 && (FileRewritten(device.fileHandle) || DataFileAppearedFirst(device));
    if (changed) read = -1;
    if (read < 0) {
        // End of file, a read error or a changed file: start again from the
        // first line in this same tick. A file that yields nothing even then
        // is tried again on the next tick, not in a loop.
        const bool looped = device.fileHandle > 0 && device.countedHandle == device.fileHandle && device.recordsRead > 0;
        if ((looped || changed) && !startOver(device, changed)) return;
        ReopenTextFile(device);
        read = device.fileHandle > 0 ? readLine(device) : -1;
        if (read < 0) {
            ShowNothingToSend(device);
            return;
        }
        ShowIdle(device);  // the seam of the loop: "IDLE", then "SIMULATING" below
    }
    device.lineLength = read;
    BlinkStep(device);
}

void SendRecord(Device& device)
{
    if (device.lineLength < 0) return;
    // The length read, not the first zero: a NUL inside a line goes out too.
    char* line = device.lineBuffer;
    const int length = device.lineLength;
    line[length] = '\r';
    line[length + 1] = '\n';
    line[length + 2] = '\0';
    CountWrite(device, ComWrt(device.comport, std::span<const char>(line, std::size_t(length) + 2)));
}

void SendChunk(Device& device)
{
    const bool replaced = WatchRecording(device);
    if (!device.loopData || device.fileSize < kChunkWrapMargin) {
        ShowNothingToSend(device);
        return;
    }
    if (replaced && !startOver(device, true)) return;
    if (device.pos + kChunkWrapMargin > device.fileSize) {
        if (device.pos > 0 && !startOver(device, false)) return;
        device.pos = 0;
    }
    // One write per chunk: the output queue takes it whole or drops it whole.
    const char* chunk = reinterpret_cast<const char*>(device.loopData.get()) + device.pos;
    CountWrite(device, ComWrt(device.comport, std::span<const char>(chunk, kChunkSize)));
    device.pos += kChunkSize;
    CountBinaryTick(device);
}
