// Start-up and shutdown as main runs them: the port, the data file, the
// window, and everything released again.
#include <QApplication>
#include <QCoreApplication>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <unistd.h>

#include <cstring>
#include <filesystem>

#include "platform/ui/inspect.h"
#include "platform/runtime.h"
#include "serial/comcfg.h"
#include "stream/datafile.h"
#include "stream/streams.h"
#include "support.h"
#include "ui/quorvex.h"

namespace {

class StartUp : public testing::Test {
protected:
    void SetUp() override
    {
        comport = 1;
        fileHandle = 0;
        pos = 0;
        writeDataFile("blender.csv", "first\nsecond\n");
        panelsBefore = LoadedPanelCount();
    }
    void TearDown() override
    {
        for (int port = 1; port <= 16; ++port) unsetenv(("QUORVEX_COM" + std::to_string(port)).c_str());
        removeDataFile("blender.csv");
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_EQ(LoadedPanelCount(), panelsBefore);
    }
    int panelsBefore = 0;
};

TEST_F(StartUp, OpensCom1At19200ShowsTheWindowAndSendsTheFirstRecordOnTheFirstTick)
{
    Pty pty;
    pty.mapAs(1);
    int descriptors = openDescriptorCount();
    ASSERT_TRUE(startUp());
    EXPECT_TRUE(PanelWidget(spanel)->isVisible());
    EXPECT_EQ(baudOf(pty.lineSettings()), 19200);
    int on = 0;
    GetCtrlAttribute(spanel, ATIMER, ATTR_ENABLED, on);
    EXPECT_EQ(on, 1);
    std::string status;
    GetCtrlVal(spanel, TEXT, status);
    EXPECT_EQ(status, "SIMULATING");
    holdTimers();
    tick(ATIMER);
    EXPECT_EQ(pty.read(7), "first\r\n");
    shutDown();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(openDescriptorCount(), descriptors) << "file and port released";
    EXPECT_EQ(spanel, 0);
}

TEST_F(StartUp, UnavailableCom1ShowsOneErrorThenAnIdleWindowThatStreamsOnceAPortWorks)
{
    setenv("QUORVEX_COM1", "/nonexistent/ttyUSB0", 1);
    bool started = false;
    auto boxes = withBoxes([&] { started = startUp(); });
    ASSERT_TRUE(started);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].title, "COM Error");
    EXPECT_EQ(boxes[0].text, "Serial port not found.");
    std::string status;
    GetCtrlVal(spanel, TEXT, status);
    EXPECT_EQ(status, "IDLE");
    int on = 1;
    GetCtrlAttribute(spanel, ATIMER, ATTR_ENABLED, on);
    EXPECT_EQ(on, 0);
    // The data file is there already, so picking a working port streams at once.
    Pty pty;
    pty.mapAs(2);
    pickRing(COM, 2);
    holdTimers();
    tick(ATIMER);
    EXPECT_EQ(pty.read(7), "first\r\n");
    shutDown();
}

TEST_F(StartUp, AFileInTheUsersRecordingsFolderStreamsBeforeTheOneBesideTheProgram)
{
    struct Row {
        const char* own;  // the user's blender.csv, or none
        const char* first;
    };
    for (const Row& row : {Row{nullptr, "first\r\n"}, Row{"mine\n", "mine\r\n"}}) {
        SCOPED_TRACE(row.own ? row.own : "none");
        if (row.own) writeUserDataFile("blender.csv", row.own);
        Pty pty;
        pty.mapAs(1);
        ASSERT_TRUE(startUp());
        holdTimers();
        tick(ATIMER);
        EXPECT_EQ(pty.read(strlen(row.first)), row.first);
        shutDown();
        std::filesystem::remove_all(GetRecordingsDir());
    }
}

TEST_F(StartUp, WithNothingToSendTheStatusReadsIdleFromTheFirstMoment)
{
    struct Row {
        const char* what;
        const char* blender;  // the blender.csv beside the program, or none
        int format;           // the format picked after start-up, or -1
        const char* seen;
    };
    const Row table[] = {
        {"no data file", nullptr, -1, "IDLE"},
        {"an empty data file", "", -1, "IDLE"},
        {"a byte order mark alone", "\xEF\xBB\xBF", -1, "IDLE"},
        {"a record", "r\n", -1, "SIMULATING"},
        {"a format picked whose file is missing", "r\n", 6, "IDLE"},
    };
    for (const Row& row : table) {
        if (row.blender) writeDataFile("blender.csv", row.blender);
        else removeDataFile("blender.csv");
        Pty pty;
        pty.mapAs(1);
        ASSERT_TRUE(startUp());
        if (row.format >= 0) pickRing(FORMAT, row.format);
        std::string status;
        GetCtrlVal(spanel, TEXT, status);
        EXPECT_EQ(status, row.seen) << row.what;
        shutDown();
    }
}

TEST_F(StartUp, CloseBoxAndAltCEndTheEventLoopThroughTheCloseControl)
{
    const std::pair<const char*, void (*)()> table[] = {
        {"the close box", [] { PanelWidget(spanel)->close(); }},
        {"Alt+C", [] { QTest::keyClick(PanelWidget(spanel), Qt::Key_C, Qt::AltModifier); }},
    };
    for (const auto& [what, close] : table) {
        Pty pty;
        pty.mapAs(1);
        ASSERT_TRUE(startUp());
        QApplication::setActiveWindow(PanelWidget(spanel));
        QTimer::singleShot(50, close);
        // A close that does nothing leaves the loop to the time limit.
        QTimer::singleShot(3000, [] { QuitUserInterface(1); });
        EXPECT_EQ(RunUserInterface(), 0) << what;
        shutDown();
    }
}

}  // namespace
