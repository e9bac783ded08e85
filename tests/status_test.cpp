// The status text and the taskbar text: idle, simulating, and the blink.
#include <QCoreApplication>
#include <QHelpEvent>
#include <QLabel>
#include <QToolTip>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <functional>

#include "app/awake.h"
#include "app/status.h"
#include "app/statustip.h"
#include "platform/ui/inspect.h"
#include "platform/runtime.h"
#include "serial/comcfg.h"
#include "stream/datafile.h"
#include "stream/streams.h"
#include "support.h"
#include "ui/quorvex.h"

namespace {

struct Seen {
    std::string text;
    int shown;
    std::string taskbar;
    bool operator==(const Seen&) const = default;
};

void PrintTo(const Seen& s, std::ostream* os) { *os << s.text << "/" << s.shown << "/" << s.taskbar; }

Seen seen()
{
    Seen s;
    GetCtrlVal(spanel, TEXT, s.text);
    GetCtrlAttribute(spanel, TEXT, ATTR_VISIBLE, s.shown);
    GetSystemAttribute(ATTR_TASKBAR_BUTTON_TEXT, s.taskbar);
    return s;
}

class Status : public MainPanelTest {};

TEST_F(Status, IdleAndSimulatingSetBothTexts)
{
    ShowSimulating(windowDevice);
    EXPECT_EQ(seen(), (Seen{"SIMULATING", 1, "Simulating"}));
    ShowIdle(windowDevice);
    EXPECT_EQ(seen(), (Seen{"IDLE", 1, "Idle"}));
    EXPECT_EQ(PanelWidget(spanel)->windowIconText(), "Idle") << "the taskbar shows the main window's icon text";
    EXPECT_EQ(PanelWidget(spanel)->windowTitle(), "Quorvex  2.14");
}

TEST_F(Status, BlinkStepsAlternateThePhase)
{
    const Seen expected[] = {{"SIMULATING", 0, "Simulating"}, {"SIMULATING", 1, "Simulating"},
                             {"SIMULATING", 0, "Simulating"}};
    for (const Seen& step : expected) {
        BlinkStep(windowDevice);
        EXPECT_EQ(seen(), step);
        EXPECT_EQ(visible, step.shown);
    }
}

TEST_F(Status, OpenedWhileHiddenReadsSimulatingButStaysHiddenUntilTheNextStep)
{
    BlinkStep(windowDevice);        // the stream blinked into its hidden phase
    ShowSimulating(windowDevice);   // a change of port re-opened it
    EXPECT_EQ(seen(), (Seen{"SIMULATING", 0, "Simulating"}));
    BlinkStep(windowDevice);
    EXPECT_EQ(seen(), (Seen{"SIMULATING", 1, "Simulating"}));
}

TEST_F(Status, IdleShowsTheTextButLeavesThePhase)
{
    BlinkStep(windowDevice);
    ShowIdle(windowDevice);
    EXPECT_EQ(seen(), (Seen{"IDLE", 1, "Idle"}));
    EXPECT_EQ(visible, 0);
    ShowSimulating(windowDevice);  // the port opened again
    EXPECT_EQ(seen(), (Seen{"SIMULATING", 1, "Simulating"}));
}

TEST_F(Status, IdleThenBlinkInOneTickEndsSimulatingInTheNextPhase)
{
    BlinkStep(windowDevice);
    ASSERT_EQ(visible, 0);
    ShowIdle(windowDevice);
    BlinkStep(windowDevice);
    EXPECT_EQ(seen(), (Seen{"SIMULATING", 1, "Simulating"}));
}

TEST_F(Status, BinaryTicksBlinkEveryFourthAndTheCountSurvivesOtherCalls)
{
    std::vector<int> shown;
    for (int i = 0; i < 12; ++i) {
        CountBinaryTick(windowDevice);
        int s = -1;
        GetCtrlAttribute(spanel, TEXT, ATTR_VISIBLE, s);
        shown.push_back(s);
        if (i == 5) ShowSimulating(windowDevice);  // a re-open between ticks keeps the count
    }
    EXPECT_EQ(shown, (std::vector<int>{1, 1, 1, 0, 0, 0, 0, 1, 1, 1, 1, 0}));
    EXPECT_EQ(blinkCount, 0);
}

TEST_F(Status, AnyNonZeroFlagCountsAsShown)
{
    visible = 7;
    BlinkStep(windowDevice);
    EXPECT_EQ(visible, 0);
}

// While it streams, the program keeps the machine from sleeping; what it
// sends, it says in the status text's tooltip.
class StatusWhileStreaming : public StreamTest {
protected:
    void SetUp() override
    {
        StreamTest::SetUp();
        setenv("QUORVEX_COM2", "/nonexistent/quorvex-COM2", 1);
        home = std::getenv("HOME") ? std::getenv("HOME") : "";
        // The data files' folder is ~/tests for the tooltip.
        const std::string folder = GetProjectDir();
        setenv("HOME", folder.substr(0, folder.rfind('/')).c_str(), 1);
    }
    void TearDown() override
    {
        setenv("HOME", home.c_str(), 1);
        removeDataFile("blender.csv");
        removeDataFile("hdv2.bin");
        StreamTest::TearDown();
    }
    std::string home;
};

TEST_F(StatusWhileStreaming, KeepsAwakeWhileATimerRunsOnAnOpenPortAndAsksOnce)
{
    const int before = AwakeRequests();
    stream(0, "a\nb\n");
    EXPECT_TRUE(KeepingAwake());
    tick(ATIMER, 5);  // twice over the end of the file: "IDLE", then "SIMULATING", in one tick
    EXPECT_TRUE(KeepingAwake());
    EXPECT_EQ(AwakeRequests() - before, 1) << "asked once, not again at each loop of the file";
    removeDataFile("blender.csv");
    tick(ATIMER, 3);
    EXPECT_FALSE(KeepingAwake()) << "with nothing to send";
    writeDataFile("blender.csv", "a\n");
    tick(ATIMER, 1);
    EXPECT_TRUE(KeepingAwake()) << "once a record goes out again";
    withBoxes([] { pickRing(COM, 2); });
    EXPECT_FALSE(KeepingAwake()) << "after a COM Error";
    pickRing(COM, 1);
    EXPECT_TRUE(KeepingAwake());
    withBoxes([&] {
        pty.closeMaster();
        waitForBox();
    });
    EXPECT_FALSE(KeepingAwake()) << "after a lost port";
}

TEST_F(StatusWhileStreaming, TooltipSaysWhatIsSentFromWhereToWhichPortOrWhyNothing)
{
    const std::string com1 = "COM1 (" + pty.slavePath() + ")";
    stream(0, "a\nb\nc\n");
    tick(ATIMER, 2);
    EXPECT_EQ(StatusTip(), "Sending blender.csv (record 2 of 3) from ~/tests to " + com1 + " at 19200 baud, 8N1");
    QWidget* status = ControlWidget(spanel, TEXT);
    QHelpEvent hover(QEvent::ToolTip, QPoint(2, 2), status->mapToGlobal(QPoint(2, 2)));
    QCoreApplication::sendEvent(status, &hover);
    EXPECT_EQ(QToolTip::text().toStdString(), StatusTip()) << "the status text shows it on hover";

    stream(2, std::string(1000, 'x'));
    tick(DTIMER, 3);
    EXPECT_EQ(StatusTip(), "Sending hdv2.bin from ~/tests, bytes 100-149 of 1,000, to " + com1 + " at 115200 baud, 8N1");

    removeDataFile("hdv2.bin");
    openFile();  // as a change of format does
    EXPECT_EQ(StatusTip(), "Idle: hdv2.bin is not in " + GetRecordingsDir() + " nor in ~/tests");
    // Something under the recording's name that is no file, in the user's folder.
    MakeRecordingsDir();
    const std::string mine = MakePathname(GetRecordingsDir(), "hdv2.bin");
    const std::string in = "Idle: hdv2.bin in " + GetRecordingsDir();
    const std::pair<std::function<int()>, std::string> table[] = {
        {[&] { return mkdir(mine.c_str(), 0700); }, in + " is a folder, not a file"},
        {[&] { return mkfifo(mine.c_str(), 0600); }, in + " is a named pipe, not a regular file"},
        {[&] { return symlink("/dev/zero", mine.c_str()); }, in + " is a device, not a regular file"},
        {[&] { return symlink("/nonexistent/hdv2.bin", mine.c_str()); }, in + " is a link to a file that is not there"},
    };
    for (const auto& [make, tip] : table) {
        ASSERT_EQ(make(), 0);
        openFile();
        EXPECT_EQ(StatusTip(), tip);
        std::filesystem::remove(mine);
    }

    withBoxes([] { pickRing(COM, 2); });
    EXPECT_EQ(StatusTip(), "Idle: COM2 could not be opened (Serial port not found.)\n"
                           "COM2 is /nonexistent/quorvex-COM2: No such file or directory");
}

TEST_F(StatusWhileStreaming, TooltipCountsTheRecordsDroppedWhileTheStationDoesNotRead)
{
    stream(0, std::string(2000, 'r') + "\n");
    holdTimers();
    SetCtrlAttribute(spanel, ATIMER, ATTR_ENABLED, 1);  // running, but only the test ticks
    tick(ATIMER, 200);  // nobody reads the far end
    const long long dropped = ComDroppedWrites(1);
    ASSERT_GT(dropped, 0);
    const std::string tip = StatusTip();
    EXPECT_EQ(tip.substr(tip.find('\n')),
              "\nThe station is not reading: " + std::to_string(dropped) + " records not sent");
    pty.drain();  // the station reads again: no record is left torn for the next open of its device
}

}  // namespace
