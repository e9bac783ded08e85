// Data files going wrong under a running stream, end to end over a
// pseudo-terminal. Each row: what happens to the file, what the station
// receives, what the user sees; and in every row nothing is left behind once
// the file is good again, and the processor stays quiet through the fault.
// Faults the stream tests already hold (NUL bytes, long lines, a last line
// without a line end, recordings of 0 to 101 bytes) are not repeated here.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "app/status.h"
#include "fault_support.h"
#include "platform/runtime.h"
#include "serial/comcfg.h"
#include "stream/datafile.h"
#include "stream/streams.h"
#include "ui/quorvex.h"

namespace {

const std::string kGood = "g1,1\ng2,2\ng3,3\ng4,4\ng5,5\ng6,6\n";

// Lines of 38 bytes, each different.
std::string numberedLines(const char* prefix, int count)
{
    std::string text;
    for (int i = 0; i < count; ++i) {
        char line[64];
        std::snprintf(line, sizeof line, "%s%04d,%031d\n", prefix, i, i);
        text += line;
    }
    return text;
}

std::string asRecords(const std::vector<std::string>& records)
{
    std::string wire;
    for (const std::string& r : records) wire += r + "\r\n";
    return wire;
}

// Bytes `ticks` ticks of the text stream send, from the file's first line.
std::size_t textBytes(const std::string& file, int ticks)
{
    const std::vector<std::string> records = recordsOf(file);
    std::size_t bytes = 0;
    for (int i = 0; i < ticks; ++i) bytes += records[std::size_t(i) % records.size()].size() + 2;
    return bytes;
}

// A file written elsewhere and renamed over the data file, as editors and
// copying tools that replace a file do.
void renameOver(const std::string& name, const std::string& contents)
{
    writeDataFile(name + ".new", contents);
    std::filesystem::rename(dataFilePath(name + ".new"), dataFilePath(name));
}

// A file rewritten where it stands, as `cp` onto it or a shell redirection does.
void rewriteInPlace(const std::string& name, const std::string& contents)
{
    int fd = ::open(dataFilePath(name).c_str(), O_WRONLY | O_TRUNC);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::write(fd, contents.data(), contents.size()), ssize_t(contents.size()));
    ::close(fd);
}

void sparseFile(const std::string& name, std::int64_t size, const std::string& tail = "")
{
    removeDataFile(name);
    int fd = ::open(dataFilePath(name).c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(ftruncate(fd, size), 0);
    if (!tail.empty()) {
        ASSERT_EQ(pwrite(fd, tail.data(), tail.size(), size - off_t(tail.size())), ssize_t(tail.size()));
    }
    ::close(fd);
}

class FaultFile : public StreamTest {
protected:
    void TearDown() override
    {
        // Some rows leave a directory where the file was.
        std::error_code ignored;
        std::filesystem::remove_all(dataFilePath("blender.csv"), ignored);
        removeDataFile("blender.csv.new");
        StreamTest::TearDown();
    }
    // Streams `contents` as the chosen format's file, `ticks` ticks in.
    void streaming(int format, const std::string& contents, int ticks, int timer)
    {
        stream(format, contents);
        holdTimers();
        sentBy(timer, ticks, timer == DTIMER ? std::size_t(ticks) * kChunkSize : textBytes(contents, ticks));
    }
    // What `ticks` ticks send: the `expected` bytes waited for, and anything
    // that follows them at once.
    std::string sentBy(int timer, int ticks, std::size_t expected)
    {
        tick(timer, ticks);
        std::string sent = readSoon(pty, expected);
        return sent + pty.drain(std::chrono::milliseconds(20));
    }
    // The program's own timer runs a while through the fault: nothing spins.
    void expectQuietWhileTimerRuns(int timer)
    {
        SetCtrlAttribute(spanel, timer, ATTR_ENABLED, 1);
        EXPECT_LT(cpuWhile(std::chrono::milliseconds(150)), 0.1) << "busy while nothing changes";
        holdTimers();
    }
};

struct TextRow {
    const char* what;
    std::function<void()> fault;  // done to blender.csv two lines into kGood
    std::string received;         // over the next four ticks
    const char* status;
};

TEST_F(FaultFile, TextFileFaultsWhileStreaming)
{
    const std::string longer = numberedLines("n", 200);
    const std::vector<std::string> longerRecords = recordsOf(longer);
    const std::string blender = dataFilePath("blender.csv");
    const TextRow table[] = {
        {"deleted", [] { removeDataFile("blender.csv"); }, "", "IDLE"},
        {"emptied in place", [] { rewriteInPlace("blender.csv", ""); }, "", "IDLE"},
        {"replaced by a directory",
         [&] { removeDataFile("blender.csv"); mkdir(blender.c_str(), 0755); }, "", "IDLE"},
        // Neither ends: the open of a pipe waits for a writer, a line of zeros never ends.
        {"replaced by a named pipe", [&] { removeDataFile("blender.csv"); mkfifo(blender.c_str(), 0644); }, "",
         "IDLE"},
        {"replaced by a link to /dev/zero",
         [&] { removeDataFile("blender.csv"); ASSERT_EQ(symlink("/dev/zero", blender.c_str()), 0); }, "", "IDLE"},
        {"renamed over by a new file", [] { renameOver("blender.csv", "r1\nr2\nr3\n"); },
         "r1\r\nr2\r\nr3\r\nr1\r\n", "SIMULATING"},
        // As rsync -t leaves it: only the file's identity tells it from the old one.
        {"renamed over by a file of the same size and time",
         [&] {
             writeDataFile("blender.csv.new", "h1,1\nh2,2\nh3,3\nh4,4\nh5,5\nh6,6\n");
             std::filesystem::last_write_time(dataFilePath("blender.csv.new"), std::filesystem::last_write_time(blender));
             std::filesystem::rename(dataFilePath("blender.csv.new"), blender);
         },
         "h1,1\r\nh2,2\r\nh3,3\r\nh4,4\r\n", "SIMULATING"},
        {"rewritten in place, longer", [&] { rewriteInPlace("blender.csv", longer); },
         asRecords({longerRecords.begin(), longerRecords.begin() + 4}), "SIMULATING"},
        {"lines appended: read on, not over",
         [] { std::ofstream(dataFilePath("blender.csv"), std::ios::app) << "g7,7\n"; },
         "g3,3\r\ng4,4\r\ng5,5\r\ng6,6\r\n", "SIMULATING"},
        {"truncated in place to its first line", [] { rewriteInPlace("blender.csv", "g1,1\n"); },
         "g1,1\r\ng1,1\r\ng1,1\r\ng1,1\r\n", "SIMULATING"},
        // One line to the program: only LF ends a line; a CR not before an LF is data.
        {"rewritten with only CR line ends", [] { rewriteInPlace("blender.csv", "c1\rc2\rc3\r"); },
         "c1\rc2\rc3\r\nc1\rc2\rc3\r\nc1\rc2\rc3\r\nc1\rc2\rc3\r\n", "SIMULATING"},
        {"rewritten with bytes that are not UTF-8",
         [] { rewriteInPlace("blender.csv", "\xff\xfe,1\n\xc3\x28,\x80\n"); },
         "\xff\xfe,1\r\n\xc3\x28,\x80\r\n\xff\xfe,1\r\n\xc3\x28,\x80\r\n", "SIMULATING"},
    };
    for (const TextRow& row : table) {
        SCOPED_TRACE(row.what);
        expectNothingLeftBehind([&] {
            streaming(0, kGood, 2, ATIMER);
            row.fault();
            EXPECT_EQ(sentBy(ATIMER, 4, row.received.size()), row.received);
            EXPECT_EQ(statusText(), row.status);
            expectQuietWhileTimerRuns(ATIMER);
            std::filesystem::remove_all(blender);
            writeDataFile("blender.csv", kGood);
            EXPECT_EQ(sentBy(ATIMER, 1, 6), "g1,1\r\n") << "streams again once the file is good";
        });
    }
}

TEST_F(FaultFile, LargeFileTruncatedWhileStreamingSendsNoTornLine)
{
    // More than a stdio buffer in: what was read ahead of the cut is gone from the file.
    const std::string big = numberedLines("b", 400);
    streaming(0, big, 150, ATIMER);
    const std::string cut = big.substr(0, 4817);  // mid-line, before line 150
    rewriteInPlace("blender.csv", cut);
    RecordCheck check = checkRecords(sentBy(ATIMER, 130, textBytes(cut, 130)), recordsOf(cut), 0);
    EXPECT_EQ(check.fault, "");
    EXPECT_EQ(check.records, 130u);
}

struct RecordingRow {
    const char* what;
    std::function<void()> make;  // the ddec.bin picked next
    std::int64_t startAt;        // read position before the ticks; -1 leaves it
    std::string received;        // over the next three ticks
    const char* status;
    bool once = false;           // too slow to run twice: reads a whole gibibyte
};

TEST_F(FaultFile, RecordingsOfEverySizeNeverReadOutsideTheRecording)
{
    constexpr std::int64_t kGiB = std::int64_t(1) << 30;
    const std::string tail = numberedRecording(60);
    const std::string of52 = numberedRecording(52);
    const RecordingRow table[] = {
        {"52 bytes: one chunk, then over", [&] { writeDataFile("ddec.bin", of52); }, -1,
         of52.substr(0, 50) + of52.substr(0, 50) + of52.substr(0, 50), "SIMULATING"},
        // The largest held in memory, read to its last chunk and round.
        {"exactly the 1 GiB limit", [&] { sparseFile("ddec.bin", kMaxRecordingSize, tail); },
         kMaxRecordingSize - 110, std::string(50, '\0') + tail.substr(0, 50) + std::string(50, '\0'),
         "SIMULATING", true},
        {"1 GiB and a byte: refused", [] { sparseFile("ddec.bin", kGiB + 1); }, -1, "", "IDLE"},
        {"2 GiB and a byte: refused", [] { sparseFile("ddec.bin", 2 * kGiB + 1); }, -1, "", "IDLE"},
        // 60 bytes once the size is cut to 32 bits: enough for a chunk, if it were.
        {"4 GiB and 60 bytes: refused", [] { sparseFile("ddec.bin", 4 * kGiB + 60); }, -1, "", "IDLE"},
    };
    for (const RecordingRow& row : table) {
        SCOPED_TRACE(row.what);
        expectNothingLeftBehind([&] {
            streaming(1, numberedRecording(1000), 2, DTIMER);
            row.make();
            pickRing(FORMAT, 1);
            holdTimers();
            if (row.startAt >= 0) pos = row.startAt;
            EXPECT_EQ(sentBy(DTIMER, 3, row.received.size()), row.received);
            EXPECT_EQ(statusText(), row.status);
            EXPECT_GE(pos, 0);
            if (loopData) {
                EXPECT_LE(pos, fileSize);
            }
            expectQuietWhileTimerRuns(DTIMER);
            writeDataFile("ddec.bin", numberedRecording(1000));
            pickRing(FORMAT, 1);
            pos = 0;
            holdTimers();
            EXPECT_EQ(sentBy(DTIMER, 1, kChunkSize), numberedRecording(50)) << "streams again once the recording is good";
        }, !row.once);
    }
}

}  // namespace
