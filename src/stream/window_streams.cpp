// The main panel's data file and streams: the format ring and the two timers
// over the window's device.
#include "../app/device.h"
#include "../app/startup.h"
#include "../platform/runtime.h"
#include "../serial/comcfg.h"
#include "../ui/quorvex.h"
#include "datafile.h"
#include "streams.h"

int& fileHandle = windowDevice.fileHandle;
std::string& path = windowDevice.path;
std::unique_ptr<std::byte[]>& loopData = windowDevice.loopData;
std::int64_t& fileSize = windowDevice.fileSize;
char (&lineBuffer)[kLineBufferSize] = windowDevice.lineBuffer;
int& lineLength = windowDevice.lineLength;
std::int64_t& pos = windowDevice.pos;

void openFile()
{
    int formatValue = 0;
    GetCtrlVal(spanel, FORMAT, formatValue);
    windowDevice.format = LookupFormat(formatValue);
    LoadData(windowDevice);
}

int SetFormat(int /*panel*/, int /*control*/, int event, void*, int, int)
{
    if (event != EVENT_COMMIT) return 0;
    StopTicking(windowDevice);
    openFile();
    openComCfg(comport, comport);
    ShowIfNothingToSend(windowDevice);
    return 0;
}

void updateFiledAnalogIns() { ReadRecord(windowDevice); }

void sendSerialData() { SendRecord(windowDevice); }

int ATimerTick(int /*panel*/, int /*control*/, int event, void*, int, int)
{
    if (event != EVENT_TIMER_TICK) return 0;
    updateFiledAnalogIns();
    sendSerialData();
    return 0;
}

int DTimerTick(int /*panel*/, int /*control*/, int event, void*, int, int)
{
    if (event == EVENT_TIMER_TICK) SendChunk(windowDevice);
    return 0;
}
