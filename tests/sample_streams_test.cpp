// The shipped recordings streamed for more than one whole loop, captured at
// the far end of a pseudo-terminal. With QUORVEX_CAPTURE_DIR set, what
// arrives is kept there for the station-side decoders (tests/samples).
#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "platform/runtime.h"
#include "serial/comcfg.h"
#include "stream/datafile.h"
#include "stream/streams.h"
#include "support.h"
#include "ui/quorvex.h"

namespace {

class SampleStreams : public StreamTest {
protected:
    // Streams format for `ticks` ticks and returns everything that arrived.
    std::string capture(int format, const std::string& name, int timer, int ticks)
    {
        stream(format, shippedRecording(name));
        pos = 0;  // a station starts listening at the recording's start
        holdTimers();
        std::string received;
        for (int i = 0; i < ticks; ++i) {
            tick(timer);
            received += pty.read(0, std::chrono::milliseconds(0));
        }
        received += pty.drain();
        if (const char* dir = std::getenv("QUORVEX_CAPTURE_DIR"))
            std::ofstream(std::string(dir) + "/" + name, std::ios::binary) << received;
        return received;
    }
};

TEST_F(SampleStreams, TextRecordingsLoopWholeRecordsInFileOrder)
{
    const std::pair<int, const char*> formats[] = {{0, "blender.csv"}, {6, "blenderplus.csv"},
                                                   {3, "frac.csv"},    {5, "dd16.csv"}};
    for (auto [format, name] : formats) {
        SCOPED_TRACE(name);
        std::string lines = shippedRecording(name);
        std::size_t count = std::size_t(std::count(lines.begin(), lines.end(), '\n'));
        std::string received = capture(format, name, ATIMER, int(count) + 10);
        std::string expected;
        std::istringstream in(lines);
        for (std::string line; std::getline(in, line);) expected += line + "\r\n";
        std::istringstream again(lines);
        for (std::string line; expected.size() < received.size() && std::getline(again, line);)
            expected += line + "\r\n";
        EXPECT_EQ(received.size(), expected.size());
        EXPECT_TRUE(received == expected) << "the loop repeats the file exactly";
    }
}

TEST_F(SampleStreams, EngineRecordingsLoopAcrossTheSeam)
{
    for (auto [format, name] : {std::pair{1, "ddec.bin"}, std::pair{2, "hdv2.bin"}}) {
        SCOPED_TRACE(name);
        const std::string bytes = shippedRecording(name);
        const std::size_t loop = (bytes.size() - 1) / 50 * 50;
        EXPECT_EQ(loop, bytes.size() - 1) << "the recording is cut to whole chunks plus one byte";
        std::string received = capture(format, name, DTIMER, int(loop / 50) + 40);
        EXPECT_EQ(received.size(), loop + 40 * 50);
        EXPECT_TRUE(received.substr(0, loop) == bytes.substr(0, loop));
        EXPECT_TRUE(received.substr(loop) == bytes.substr(0, 40 * 50)) << "after the seam, byte 0 again";
    }
}

}  // namespace
