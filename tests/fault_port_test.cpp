// Ports going wrong under a running stream, end to end over pseudo-terminals:
// a station that stops reading for minutes, and a user who changes format,
// port and baud a thousand times in a row. Failures to open (missing, no
// permission, held by another program) and a far end that closes are held by
// serial_port_test.cpp and as_user_test.cpp; fault_as_user_test.cpp adds what
// they leave behind.
#include <QCoreApplication>

#include <unistd.h>

#include <cstdio>
#include <functional>
#include <random>

#include "app/status.h"
#include "platform/ui/inspect.h"
#include "fault_support.h"
#include "platform/runtime.h"
#include "serial/comcfg.h"
#include "stream/datafile.h"
#include "stream/streams.h"
#include "ui/quorvex.h"

namespace {

// Lines of about the length of a blender record, each different.
std::string longLines(int count)
{
    std::string text;
    for (int i = 0; i < count; ++i) text += "2026-03-14 10:" + std::to_string(i) + std::string(250, ',') + "\n";
    return text;
}

class FaultPort : public StreamTest {
protected:
    void streaming(int format, const std::string& contents)
    {
        stream(format, contents);
        holdTimers();
    }
    // Ticks for `minutes` of the timer's time while the station reads nothing;
    // the event loop runs between ticks, as it does between timer ticks.
    std::size_t stall(int timer, int minutes)
    {
        const int ticks = minutes * 60 * (timer == ATIMER ? 1 : 4);
        std::size_t longestQueue = 0;
        for (int i = 0; i < ticks; ++i) {
            tick(timer);
            QCoreApplication::processEvents();
            longestQueue = std::max<std::size_t>(longestQueue, std::size_t(GetOutQLen(1)));
        }
        return longestQueue;
    }
};

struct StallRow {
    const char* what;
    int format;
    std::string contents;
    int timer;
};

TEST_F(FaultPort, StationThatStopsReadingForMinutesGetsWholeRecordsWhenItReadsAgain)
{
    const std::string recording = numberedRecording(20000);
    const StallRow table[] = {
        {"text records", 0, longLines(900), ATIMER},
        {"binary chunks", 1, recording, DTIMER},
    };
    for (const StallRow& row : table) {
        SCOPED_TRACE(row.what);
        streaming(row.format, row.contents);
        Footprint before = footprint();
        const std::size_t longestQueue = stall(row.timer, 10);
        EXPECT_LE(longestQueue, std::size_t(kComQueueSize)) << "the output queue stays bounded";
        Footprint stalled = footprint();
        expectHeapFlat(before, stalled, 64 * 1024);
        SetCtrlAttribute(spanel, row.timer, ATTR_ENABLED, 1);
        const double cpu = cpuWhile(std::chrono::milliseconds(1100));
        EXPECT_LT(cpu, 0.3) << "busy while the line is blocked";
        holdTimers();
        std::printf("%s: 10 minutes unread: queue at most %zu bytes, heap %+lld bytes, %.3f s CPU in 1.1 s\n",
                    row.what, longestQueue, (long long)stalled.heap - (long long)before.heap, cpu);

        // Everything the line and the output queue held, until nothing more comes.
        std::string held;
        for (std::string more; !(more = pty.drain(std::chrono::milliseconds(50))).empty();) held += more;
        EXPECT_GT(held.size(), std::size_t(kComQueueSize)) << "what the line held went out";
        std::string fault = row.timer == ATIMER ? checkRecords(held, recordsOf(row.contents), 0, true).fault
                                                : checkChunks(held, row.contents, true);
        EXPECT_EQ(fault, "") << "dropped records are dropped whole";

        // Reading again: every tick's record arrives, whole and next in order.
        std::string resumed;
        for (int i = 0; i < 8; ++i) {
            tick(row.timer);
            QCoreApplication::processEvents();
        }
        for (std::string more; !(more = pty.drain(std::chrono::milliseconds(50))).empty();) resumed += more;
        if (row.timer == ATIMER) {
            std::vector<std::string> records = recordsOf(row.contents);
            RecordCheck first = checkRecords(resumed.substr(0, resumed.find('\n') + 1), records, 0, true);
            RecordCheck all = checkRecords(resumed, records, (first.next + records.size() - 1) % records.size());
            EXPECT_EQ(all.fault, "");
            EXPECT_EQ(all.records, 8u);
        } else {
            EXPECT_EQ(checkChunks(resumed, row.contents), "");
            EXPECT_EQ(resumed.size(), 8u * kChunkSize);
        }
        CloseCom(1);
    }
}

TEST_F(FaultPort, StationThatWritesWithoutPauseIsReadOnAndGetsEveryRecordWholeOnTime)
{
    // A station that writes back as fast as the line takes it; the program's
    // own timer runs for three records meanwhile.
    const std::string contents = longLines(20);
    streaming(0, contents);
    SetCtrlAttribute(spanel, ATIMER, ATTR_ENABLED, 1);
    const std::string junk(4096, 'j');
    std::string got;
    long long written = 0;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(3500);
    while (std::chrono::steady_clock::now() < end) {
        const ssize_t count = ::write(pty.master(), junk.data(), junk.size());
        written += count > 0 ? count : 0;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 2);
        char buffer[4096];
        for (ssize_t n; (n = ::read(pty.master(), buffer, sizeof buffer)) > 0;) got.append(buffer, std::size_t(n));
    }
    const RecordCheck check = checkRecords(got, recordsOf(contents));
    EXPECT_EQ(check.fault + " " + std::to_string(check.records) + " records, station " +
                  (written > 256 * 1024 ? "read on" : "blocked"),
              " 3 records, station read on");
    holdTimers();
}

// Records of about 2 KB, each different: a few fill the line when nobody reads.
std::string bigLines(int count)
{
    std::string text;
    for (int i = 0; i < count; ++i) text += "2026-03-14 11:" + std::to_string(i) + std::string(2000, ',') + "\n";
    return text;
}

TEST_F(FaultPort, ReopeningWhileTheStationHasStoppedReadingTearsNoRecord)
{
    // Each change closes the port with the line full: the kernel holding the
    // head of a record, the output queue its tail. Its station must see that
    // record whole, whenever it reads again.
    struct Row {
        const char* what;
        std::function<void()> change;
        int portAfter;
    };
    const Row table[] = {
        {"a click on 9600", [] {
             SetCtrlVal(spanel, BAUD1, 0);
             ServiceBaud(spanel, BAUD1, EVENT_VAL_CHANGED, nullptr, 0, 0);
         }, 1},
        {"a change of format", [] { pickRing(FORMAT, 6); }, 1},
        {"a change of port", [] { pickRing(COM, 2); }, 2},
    };
    const std::string contents = bigLines(50);
    writeDataFile("blenderplus.csv", contents);
    for (const Row& row : table) {
        SCOPED_TRACE(row.what);
        Pty second;
        second.mapAs(2);
        SetCtrlVal(spanel, COM, 1);
        comport = 1;
        streaming(0, contents);
        for (int i = 0; i < 200 && GetOutQLen(1) == 0; ++i) tick(ATIMER);
        EXPECT_GT(GetOutQLen(1), 0) << "the line is full, a record in flight";
        row.change();
        holdTimers();
        tick(ATIMER, 3);
        // Back on the first port, whose station reads again.
        if (row.portAfter != 1) pickRing(COM, 1);
        holdTimers();
        std::string first, other;
        for (std::string more; !(more = pty.drain(std::chrono::milliseconds(50))).empty();) first += more;
        for (std::string more; !(more = second.drain(std::chrono::milliseconds(50))).empty();) other += more;
        EXPECT_EQ(checkRecords(first, recordsOf(contents), 0, true).fault, "") << "COM1 gets whole records";
        EXPECT_EQ(checkRecords(other, recordsOf(contents), 0, true).fault, "") << "COM2 gets whole records";
        EXPECT_GE(checkRecords(row.portAfter == 1 ? first : other, recordsOf(contents), 0, true).records, 3u)
            << "the stream goes on after the change";
        CloseCom(1);
        CloseCom(2);
    }
    removeDataFile("blenderplus.csv");
}

// The data files of every format, each different from the others.
struct FormatFile {
    int format;
    const char* file;
    bool text;
    std::string contents;
};

TEST_F(FaultPort, ThousandsOfChangesOfFormatPortAndBaudKeepEveryRecordWholeAndInOrder)
{
    const FormatFile files[] = {
        {0, "blender.csv", true, "b1\nb2\nb3\n"},         {6, "blenderplus.csv", true, "p1\np2\n"},
        {3, "frac.csv", true, "f1\nf2\nf3\nf4\n"},         {5, "dd16.csv", true, "d1\n"},
        {1, "ddec.bin", false, numberedRecording(230)}, {2, "hdv2.bin", false, numberedRecording(420)},
    };
    for (const FormatFile& f : files) writeDataFile(f.file, f.contents);
    Pty ports[3];
    for (int i = 0; i < 3; ++i) ports[i].mapAs(i + 2);
    setenv("QUORVEX_COM5", "/nonexistent/ttyUSB5", 1);  // a port that is not there
    pty.closeMaster();
    SetCtrlVal(spanel, COM, 2);
    comport = 2;
    SetCtrlVal(spanel, FORMAT, 0);
    openFile();
    ASSERT_EQ(openComCfg(0, 2), 1);
    holdTimers();

    std::mt19937 random(1587);
    const FormatFile* current = &files[0];
    std::size_t nextLine = 0;
    std::int64_t lastChunk = -kChunkSize;
    Footprint before;
    // The same state at both measurements: COM2, the blender file open.
    auto settle = [&] {
        pickRing(FORMAT, 0);
        pickRing(COM, 2);
        holdTimers();
        current = &files[0];
        nextLine = 0;
        return footprint();
    };
    // The first thousand let Qt load what it keeps for good (glyphs and text
    // shaping tables of the message boxes' fonts, measured with the sanitizer
    // build's heap profile); the second must not grow anything.
    for (int change = 0; change < 2000; ++change) {
        if (change == 1000) before = settle();
        int what = int(random() % 3);
        std::vector<BoxSeen> boxes = withBoxes([&] {
            if (what == 0) {
                current = &files[random() % 6];
                pickRing(FORMAT, current->format);
                nextLine = 0;
            } else if (what == 1) {
                pickRing(COM, random() % 20 == 0 ? 5 : int(2 + random() % 3));
            } else {
                int on = 0;
                GetCtrlVal(spanel, BAUD1, on);
                SetCtrlVal(spanel, BAUD1, on ? 0 : 1);
                ServiceBaud(spanel, BAUD1, EVENT_VAL_CHANGED, nullptr, 0, 0);
            }
        });
        SCOPED_TRACE(testing::Message() << "change " << change << " to COM" << comport << " format "
                                        << current->format);
        const bool portThere = comport != 5;
        ASSERT_EQ(boxes.size(), portThere ? 0u : 1u);
        const int timer = current->text ? ATIMER : DTIMER;
        ASSERT_EQ(timerOn(timer), portThere);
        ASSERT_EQ(statusText(), portThere ? "SIMULATING" : "IDLE");
        holdTimers();
        if (!portThere) continue;
        Pty& end = ports[comport - 2];
        tick(timer);
        if (current->text) {
            std::vector<std::string> records = recordsOf(current->contents);
            ASSERT_EQ(readSoon(end, records[nextLine].size() + 2), records[nextLine] + "\r\n");
            nextLine = (nextLine + 1) % records.size();
        } else {
            std::int64_t at = chunkPosition(current->contents, readSoon(end, kChunkSize));
            ASSERT_GE(at, 0) << "a whole chunk of the recording";
            ASSERT_TRUE(at == lastChunk + kChunkSize || at == 0) << "chunk at " << at << " after " << lastChunk;
            lastChunk = at;
        }
    }
    for (Pty& end : ports) EXPECT_EQ(end.drain(std::chrono::milliseconds(20)), "") << "nothing more than ticked";
    Footprint after = settle();
    EXPECT_EQ(after.descriptors, before.descriptors);
    expectHeapFlat(before, after, 64 * 1024);
    EXPECT_EQ(LoadedPanelCount(), 1);
}

}  // namespace
