// Text records end to end: file lines in, records with CR LF out of a
// pseudo-terminal, one per tick, in an endless loop.
#include <QWidget>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "app/status.h"
#include "platform/ui/inspect.h"
#include "platform/runtime.h"
#include "serial/comcfg.h"
#include "stream/datafile.h"
#include "stream/streams.h"
#include "support.h"
#include "ui/quorvex.h"

namespace {

class TextStream : public StreamTest {
protected:
    // What one tick sends.
    std::string tickOnce(Pty& end)
    {
        holdTimers();
        tick(ATIMER);
        return end.drain(std::chrono::milliseconds(30));
    }
    std::string tickOnce() { return tickOnce(pty); }
    std::vector<std::string> ticks(int n)
    {
        std::vector<std::string> sent;
        for (int i = 0; i < n; ++i) sent.push_back(tickOnce());
        return sent;
    }
};

using Lines = std::vector<std::string>;

TEST_F(TextStream, LinesLoopOnePerTickWithNoTickSkippedAtTheWrap)
{
    stream(0, "one\ntwo\nthree\n");
    EXPECT_EQ(ticks(7), (Lines{"one\r\n", "two\r\n", "three\r\n", "one\r\n", "two\r\n", "three\r\n", "one\r\n"}));
}

TEST_F(TextStream, LineEndsOfTheFileBecomeOneCrLf)
{
    struct Row {
        const char* file;
        Lines sent;
    };
    const Row table[] = {
        {"a,1\r\nb,2\r\n", {"a,1\r\n", "b,2\r\n", "a,1\r\n"}},
        {"a,1\n\nb,2\n", {"a,1\r\n", "\r\n", "b,2\r\n"}},
        {"a,1\nlast", {"a,1\r\n", "last\r\n", "a,1\r\n"}},
        {"x\r\r\n", {"x\r\r\n"}},  // only the CR just before the LF belongs to the line end
        // A spreadsheet's UTF-8 byte order mark is no part of the first record, at any loop.
        {"\xEF\xBB\xBF" "a,1\nb,2\n", {"a,1\r\n", "b,2\r\n", "a,1\r\n"}},
    };
    for (const Row& row : table) {
        SCOPED_TRACE(row.file);
        stream(0, row.file);
        EXPECT_EQ(ticks(int(row.sent.size())), row.sent);
    }
}

TEST_F(TextStream, AppendedLinesComeNextAndAFileWrittenAnewStartsOver)
{
    struct Row {
        const char* what;
        std::function<void()> change;  // once L1 and L2 have been sent
        Lines sent;
    };
    const auto writeBlender = [](const char* contents, std::ios::openmode mode) {
        std::ofstream(dataFilePath("blender.csv"), std::ios::binary | mode) << contents;
    };
    const Row table[] = {
        {"lines appended", [&] { writeBlender("L4\nL5\n", std::ios::app); }, {"L3\r\n", "L4\r\n", "L5\r\n"}},
        // Same file, larger, as after an append; but what was read is not there any more.
        {"a longer file copied onto it", [&] { writeBlender("X1\nX2\nX3\nX4\n", std::ios::trunc); },
         {"X1\r\n", "X2\r\n", "X3\r\n"}},
        {"the user's own recording put in", [] { writeUserDataFile("blender.csv", "U1\nU2\n"); },
         {"U1\r\n", "U2\r\n", "U1\r\n"}},
    };
    for (const Row& row : table) {
        SCOPED_TRACE(row.what);
        stream(0, "L1\nL2\nL3\n");
        ticks(2);
        row.change();
        EXPECT_EQ(ticks(3), row.sent);
        std::filesystem::remove_all(GetRecordingsDir());
    }
}

TEST_F(TextStream, LongLinesSendTheirFirst2047CharactersAndTheNextLineFollows)
{
    for (std::size_t length : {2046u, 2047u, 2048u, 100000u}) {
        SCOPED_TRACE(length);
        stream(0, std::string(length, 'x') + "\nnext\n");
        std::string first = tickOnce();
        EXPECT_EQ(first, std::string(std::min<std::size_t>(length, 2047), 'x') + "\r\n");
        EXPECT_EQ(tickOnce(), "next\r\n");
    }
}

TEST_F(TextStream, NulBytesInsideALineGoOutWithIt)
{
    stream(0, std::string("a\0b,1\n", 6));
    EXPECT_EQ(tickOnce(), std::string("a\0b,1\r\n", 7));
}

TEST_F(TextStream, ChangingTheFormatStartsTheNewFileAtItsFirstLine)
{
    writeDataFile("frac.csv", "p1\np2\n");
    stream(0, "b1\nb2\nb3\n");
    EXPECT_EQ(ticks(2), (Lines{"b1\r\n", "b2\r\n"}));
    pickRing(FORMAT, 3);
    EXPECT_EQ(baudOf(pty.lineSettings()), 19200) << "text formats keep the toggles' rate";
    EXPECT_EQ(ticks(3), (Lines{"p1\r\n", "p2\r\n", "p1\r\n"}));
    pickRing(FORMAT, 0);
    EXPECT_EQ(tickOnce(), "b1\r\n") << "back to the same format restarts its file";
}

TEST_F(TextStream, PortAndBaudChangesContinueWithTheNextLine)
{
    Pty other;
    other.mapAs(2);
    stream(0, "l1\nl2\nl3\nl4\n");
    EXPECT_EQ(tickOnce(), "l1\r\n");
    pickRing(COM, 2);
    EXPECT_EQ(tickOnce(other), "l2\r\n");
    SetCtrlVal(spanel, BAUD1, 0);
    ServiceBaud(spanel, BAUD1, EVENT_VAL_CHANGED, nullptr, 0, 0);
    EXPECT_EQ(baudOf(other.lineSettings()), 9600);
    EXPECT_EQ(tickOnce(other), "l3\r\n");
    EXPECT_EQ(pty.drain(), "");
}

TEST_F(TextStream, WrapShowsIdleAndBlinksInTheSameTick)
{
    stream(0, "one\ntwo\n");
    ticks(2);
    int before = visible;
    // The status text repaints once a tick; the taskbar is told each text as it is set.
    std::vector<std::string> taskbarTexts;
    auto told = QObject::connect(PanelWidget(spanel), &QWidget::windowIconTextChanged,
                                 [&](const QString& text) { taskbarTexts.push_back(text.toStdString()); });
    tickOnce();
    QObject::disconnect(told);
    EXPECT_EQ(taskbarTexts, (std::vector<std::string>{"Idle", "Simulating"})) << "IDLE at the seam, then the blink";
    std::string text, taskbar;
    GetCtrlVal(spanel, TEXT, text);
    GetSystemAttribute(ATTR_TASKBAR_BUTTON_TEXT, taskbar);
    EXPECT_EQ(text, "SIMULATING");
    EXPECT_EQ(taskbar, "Simulating");
    EXPECT_NE(visible, before);
}

TEST_F(TextStream, NoFileOpenedSendsNothingAndKeepsTheRecordBufferBounded)
{
    ASSERT_EQ(openComCfg(0, 1), 1);
    ASSERT_EQ(fileHandle, 0);
    EXPECT_EQ(ticks(3), (Lines{"", "", ""}));
    EXPECT_EQ(lineLength, -1);
}

TEST_F(TextStream, UnreadableFileSendsNothingShowsIdleAndStreamsOnceReadable)
{
    struct Row {
        const char* what;
        std::function<void()> make;
    };
    const std::string file = dataFilePath("blender.csv");
    const Row table[] = {
        {"empty", [] { writeDataFile("blender.csv", ""); }},
        {"missing", [] { removeDataFile("blender.csv"); }},
        {"a directory", [&] { removeDataFile("blender.csv"); mkdir(file.c_str(), 0755); }},
    };
    for (const Row& row : table) {
        SCOPED_TRACE(row.what);
        row.make();
        SetCtrlVal(spanel, FORMAT, 0);
        openFile();
        EXPECT_EQ(openComCfg(0, 1), 1);
        EXPECT_EQ(ticks(3), (Lines{"", "", ""}));
        std::string text;
        GetCtrlVal(spanel, TEXT, text);
        EXPECT_EQ(text, "IDLE");
        rmdir(file.c_str());
        writeDataFile("blender.csv", "back\n");
        EXPECT_EQ(tickOnce(), "back\r\n");
        GetCtrlVal(spanel, TEXT, text);
        EXPECT_EQ(text, "SIMULATING");
    }
}

TEST_F(TextStream, TimerSendsARecordEachSecond)
{
    stream(0, "r1\nr2\n");
    auto start = std::chrono::steady_clock::now();
    std::string first = pty.read(4, std::chrono::milliseconds(1500));
    auto firstAt = std::chrono::steady_clock::now() - start;
    std::string second = pty.read(4, std::chrono::milliseconds(1500));
    auto secondAt = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(first, "r1\r\n");
    EXPECT_EQ(second, "r2\r\n");
    EXPECT_NEAR(std::chrono::duration<double>(firstAt).count(), 1.0, 0.3);
    EXPECT_NEAR(std::chrono::duration<double>(secondAt).count(), 2.0, 0.3);
}

}  // namespace
