// The text stream with any bytes as its data file: each tick must send the
// next line of the file (without its line end, cut to 2047 characters) and
// CR LF, wrapping to the first line after the last; a file without lines
// sends nothing. Checked against recordsOf(), written apart from the program.
#include <cstdint>

#include "fault_records.h"
#include "harness.h"
#include "platform/runtime.h"
#include "stream/datafile.h"
#include "stream/streams.h"
#include "app/startup.h"
#include "ui/quorvex.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    startProgram(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view file(reinterpret_cast<const char*>(data), size);
    writeDataFile("blender.csv", file);
    SetCtrlVal(spanel, FORMAT, 0);
    openFile();
    const std::vector<std::string> records = recordsOf(file);
    // Once round the file and into the next loop, for files of up to 200 lines.
    const std::size_t ticks = std::min<std::size_t>(records.size(), 200) + 1;
    std::string expected;  // what the station should have received since the last check
    for (std::size_t tick = 0; tick < ticks; ++tick) {
        ATimerTick(spanel, ATIMER, EVENT_TIMER_TICK, nullptr, 0, 0);
        if (lineLength > kMaxLineChars) fail("record longer than 2047 characters");
        if (records.empty()) {
            if (lineLength != -1) fail("a file without lines sent a record");
            continue;
        }
        expected += records[tick % records.size()] + "\r\n";
        // Read back every few records, well before the line's buffer fills.
        if (expected.size() >= 2048 || tick + 1 == ticks) {
            const std::string sent = readSent(expected.size());
            if (sent != expected)
                fail("up to tick " + std::to_string(tick) + " sent \"" + sent.substr(0, 80) + "\", not \"" +
                     expected.substr(0, 80) + "\"");
            expected.clear();
        }
    }
    if (!readWaiting().empty()) fail("more sent than one record a tick");
    return 0;
}
