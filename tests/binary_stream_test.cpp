// Binary recordings end to end: 50-byte chunks out of a pseudo-terminal, the
// wrap one byte early, the read position across reloads and port changes.
#include <filesystem>
#include <numeric>

#include "app/status.h"
#include "platform/runtime.h"
#include "serial/comcfg.h"
#include "stream/datafile.h"
#include "stream/streams.h"
#include "support.h"
#include "ui/quorvex.h"

namespace {

// A recording whose every byte tells its position: 0, 1, ..., 255, 0, 1, ...
// with the block number mixed in so that chunks of different offsets differ.
std::string recording(std::size_t size)
{
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) bytes[i] = char((i + i / 251) & 0xFF);
    return bytes;
}

class BinaryStream : public StreamTest {
protected:
    std::string ticks(int n, Pty& end)
    {
        holdTimers();
        std::string sent;
        for (int i = 0; i < n; ++i) {
            tick(DTIMER);
            sent += end.drain(std::chrono::milliseconds(5));
        }
        return sent + end.drain(std::chrono::milliseconds(30));
    }
    std::string ticks(int n) { return ticks(n, pty); }
};

TEST_F(BinaryStream, TenThousandBytesSendAllButTheTailThenStartOver)
{
    const std::string bytes = recording(10000);
    stream(1, bytes);
    EXPECT_EQ(ticks(199), bytes.substr(0, 9950));
    EXPECT_EQ(ticks(1), bytes.substr(0, 50));
}

TEST_F(BinaryStream, AChunkGoesOnlyWhenOneMoreByteThanItRemains)
{
    struct Row {
        std::size_t size;
        std::size_t sentBeforeWrap;
    };
    const Row table[] = {{1000, 950}, {1001, 1000}, {51, 50}, {100, 50}, {101, 100}};
    for (const Row& row : table) {
        SCOPED_TRACE(row.size);
        const std::string bytes = recording(row.size);
        pos = 0;
        stream(1, bytes);
        int perLoop = int(row.sentBeforeWrap / 50);
        EXPECT_EQ(ticks(perLoop), bytes.substr(0, row.sentBeforeWrap));
        EXPECT_EQ(ticks(1), bytes.substr(0, 50));
    }
}

TEST_F(BinaryStream, RecordingsTooShortOrMissingSendNothingUntilAGoodOneLoads)
{
    for (std::size_t size : {0u, 1u, 50u}) {
        SCOPED_TRACE(size);
        stream(1, recording(size));
        EXPECT_EQ(ticks(4), "");
        std::string text;
        GetCtrlVal(spanel, TEXT, text);
        EXPECT_EQ(text, "IDLE");
    }
    removeDataFile("ddec.bin");
    stream(1, "");
    removeDataFile("ddec.bin");
    openFile();
    EXPECT_EQ(ticks(2), "");
    const std::string good = recording(200);
    writeDataFile("ddec.bin", good);
    pickRing(FORMAT, 1);
    EXPECT_EQ(ticks(1), good.substr(0, 50));
}

TEST_F(BinaryStream, ReadPositionCarriesOverANewRecordingWhenItFits)
{
    const std::string j1587 = recording(1000);
    const std::string j1939 = std::string(2000, 'J');
    writeDataFile("hdv2.bin", j1939);
    stream(1, j1587);
    ticks(10);
    ASSERT_EQ(pos, 500);
    pickRing(FORMAT, 2);
    EXPECT_EQ(baudOf(pty.lineSettings()), 115200);
    EXPECT_EQ(ticks(1), j1939.substr(500, 50));
    writeDataFile("ddec.bin", recording(520));  // 550 + 51 does not fit: back to 0
    pickRing(FORMAT, 1);
    EXPECT_EQ(ticks(1), recording(520).substr(0, 50));
}

TEST_F(BinaryStream, ARecordingChangedWhileItStreamsGoesFromItsStartAtTheNextLook)
{
    const std::string old = recording(1000);
    const std::string fresh(500, 'N');
    struct Row {
        const char* what;
        bool streaming;                // old streams two ticks before the change; else no file
        std::function<void()> change;
        std::string sent;              // by the next two ticks: a look comes every fourth
    };
    const Row table[] = {
        {"copied in after the format was picked with none", false, [&] { writeDataFile("ddec.bin", fresh); },
         fresh.substr(0, 50)},
        {"renamed over", true,
         [&] {
             writeDataFile("new.bin", fresh);
             std::filesystem::rename(dataFilePath("new.bin"), dataFilePath("ddec.bin"));
         },
         old.substr(100, 50) + fresh.substr(0, 50)},
        {"deleted: goes on from memory", true, [] { removeDataFile("ddec.bin"); }, old.substr(100, 100)},
        {"the user's own put in", true, [&] { writeUserDataFile("ddec.bin", fresh); },
         old.substr(100, 50) + fresh.substr(0, 50)},
    };
    for (const Row& row : table) {
        SCOPED_TRACE(row.what);
        pos = 0;
        stream(1, old);
        if (!row.streaming) {
            removeDataFile("ddec.bin");
            openFile();
        }
        ticks(2);
        row.change();
        EXPECT_EQ(ticks(2), row.sent);
        std::filesystem::remove_all(GetRecordingsDir());
    }
}

TEST_F(BinaryStream, PortChangeContinuesWithTheNextChunk)
{
    Pty other;
    other.mapAs(5);
    const std::string bytes = recording(1000);
    stream(1, bytes);
    EXPECT_EQ(ticks(3), bytes.substr(0, 150));
    pickRing(COM, 5);
    EXPECT_EQ(ticks(2, other), bytes.substr(150, 100));
}

TEST_F(BinaryStream, StatusChangesPhaseEveryFourthTick)
{
    stream(1, recording(1000));
    std::vector<int> shown;
    for (int i = 0; i < 9; ++i) {
        tick(DTIMER);
        int s = -1;
        GetCtrlAttribute(spanel, TEXT, ATTR_VISIBLE, s);
        shown.push_back(s);
    }
    EXPECT_EQ(shown, (std::vector<int>{1, 1, 1, 0, 0, 0, 0, 1, 1}));
}

TEST_F(BinaryStream, TimerSendsAChunkEveryQuarterSecond)
{
    stream(1, recording(1000));
    auto start = std::chrono::steady_clock::now();
    std::string sent = pty.read(200, std::chrono::milliseconds(1500));
    double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(sent, recording(1000).substr(0, 200));
    EXPECT_NEAR(took, 1.0, 0.3);
}

}  // namespace
