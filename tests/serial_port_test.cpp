// The COM port: line settings per format and toggle, failures and what the
// user sees of them, re-opening, and a port that goes away while streaming.
#include <QCheckBox>
#include <QTimer>
#include <QTest>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <spawn.h>
#include <sys/file.h>
#include <sys/wait.h>

#include <csignal>
#include <cstdlib>
#include <fstream>

#include "app/formats.h"
#include "app/status.h"
#include "platform/ui/inspect.h"
#include "platform/runtime.h"
#include "serial/comcfg.h"
#include "stream/datafile.h"
#include "stream/streams.h"
#include "support.h"
#include "ui/quorvex.h"

namespace {

int ctrl(int control)
{
    int value = -1;
    GetCtrlVal(spanel, control, value);
    return value;
}

void chooseBaud(bool on19200)
{
    SetCtrlVal(spanel, BAUD1, on19200 ? 1 : 0);
    SetCtrlVal(spanel, BAUD2, on19200 ? 0 : 1);
}

class SerialPort : public MainPanelTest {};

TEST_F(SerialPort, OpensWithTheFormatsRateAnd8N1)
{
    struct Row {
        int format;
        bool on19200;
        int baud;
        int timer;
    };
    const Row table[] = {
        {0, true, 19200, ATIMER},  {0, false, 9600, ATIMER}, {6, true, 19200, ATIMER},
        {3, false, 9600, ATIMER},  {5, true, 19200, ATIMER}, {1, true, 9600, DTIMER},
        {1, false, 9600, DTIMER},  {2, true, 115200, DTIMER}, {2, false, 115200, DTIMER},
    };
    Pty pty;
    pty.mapAs(1);
    for (const Row& row : table) {
        SCOPED_TRACE(testing::Message() << "format " << row.format << " 19200 " << row.on19200);
        SetCtrlVal(spanel, FORMAT, row.format);
        chooseBaud(row.on19200);
        EXPECT_EQ(openComCfg(comport, comport), 1);
        termios line = pty.lineSettings();
        EXPECT_EQ(baudOf(line), row.baud);
        EXPECT_EQ(line.c_cflag & CSIZE, tcflag_t(CS8));
        EXPECT_EQ(line.c_cflag & (PARENB | CSTOPB), 0u);
        EXPECT_EQ(timerOn(row.timer), 1);
        EXPECT_EQ(timerOn(row.timer == ATIMER ? DTIMER : ATIMER), 0);
        EXPECT_EQ(statusText(), "SIMULATING");
    }
}

TEST_F(SerialPort, FailuresShowOneComErrorBoxStopBothTimersAndShowIdle)
{
    writeDataFile("not-a-port", "plain file\n");
    const std::string fifo = dataFilePath("a-fifo");
    mkfifo(fifo.c_str(), 0600);
    const std::string longName = "/tmp/" + std::string(5000, 'x');
    struct Row {
        std::string device;  // empty: leave the port as it is mapped
        int port;
        const char* message;
        std::string detail;
    };
    const Row table[] = {
        {"/nonexistent/ttyUSB9", 1, "Serial port not found.",
         "COM1 is /nonexistent/ttyUSB9: No such file or directory"},
        {"/nonexistent/port\xe4", 1, "Serial port not found.",
         "COM1 is /nonexistent/port\\xE4: No such file or directory"},
        {"", 0, "Invalid COM port number for this system.", "This computer has no serial port that is COM0."},
        {"", kMaxComPort + 1, "Invalid COM port number for this system.",
         "This computer has no serial port that is COM257."},
        {dataFilePath("not-a-port"), 1, "Could not open COM port.",
         "COM1 is " + dataFilePath("not-a-port") + ": not a serial device"},
        {"/dev/null", 1, "Could not open COM port.",
         "COM1 is /dev/null: not a serial device (Inappropriate ioctl for device)"},
        {fifo, 1, "Could not open COM port.", "COM1 is " + fifo + ": not a serial device"},
        {"/tmp", 1, "Could not open COM port.", "COM1 is /tmp: not a serial device"},
        {longName, 1, "Serial port not found.", "COM1 is " + longName + ": File name too long"},
    };
    for (const Row& row : table) {
        SCOPED_TRACE(row.device.substr(0, 40));
        if (!row.device.empty()) setenv("QUORVEX_COM1", row.device.c_str(), 1);
        SetCtrlAttribute(spanel, ATIMER, ATTR_ENABLED, 1);
        ShowSimulating(windowDevice);
        int result = 1;
        auto boxes = withBoxes([&] { result = openComCfg(1, row.port); });
        EXPECT_EQ(result, 0);
        EXPECT_EQ(boxes.size(), 1u);
        for (const BoxSeen& box : boxes) {
            EXPECT_EQ(box.title, "COM Error");
            EXPECT_EQ(box.text, row.message);
            EXPECT_EQ(box.detail, row.detail);
            EXPECT_EQ(box.status, "IDLE") << "idle already while the box is up";
        }
        EXPECT_EQ(timerOn(ATIMER), 0);
        EXPECT_EQ(timerOn(DTIMER), 0);
        std::string taskbar;
        GetSystemAttribute(ATTR_TASKBAR_BUTTON_TEXT, taskbar);
        EXPECT_EQ(taskbar, "Idle");
    }
    removeDataFile("not-a-port");
    unlink(fifo.c_str());
}

TEST_F(SerialPort, NamesMeanWhatTheyMeanToAShell)
{
    Pty pty;
    // Relative to the working folder; and names are bytes, UTF-8 or not.
    for (const std::string link : {"quorvex-test-link", "quorvex-test-port\xe4"}) {
        unlink(link.c_str());
        ASSERT_EQ(symlink(pty.slavePath().c_str(), link.c_str()), 0);
        setenv("QUORVEX_COM1", link.c_str(), 1);
        openComCfg(0, 1);
        ComWrt(1, std::span<const char>("x", 1));
        EXPECT_EQ(pty.read(), "x") << link;
        CloseCom(1);
        unlink(link.c_str());
    }
}

std::string contentsOf(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

// Another process for a lock file to name: alive until the test ends it, or gone.
pid_t startProcess(const char* program, const char* argument, bool gone)
{
    pid_t pid = 0;
    char* argv[] = {const_cast<char*>(program), const_cast<char*>(argument), nullptr};
    if (posix_spawnp(&pid, program, nullptr, nullptr, argv, environ) != 0) return 0;
    if (gone) waitpid(pid, nullptr, 0);
    // Until the system names it after its program, not after this one.
    const std::string comm = "/proc/" + std::to_string(pid) + "/comm";
    for (int i = 0; !gone && i < 200 && contentsOf(comm) != std::string(program) + "\n"; ++i) usleep(10000);
    return pid;
}

std::string asciiLock(pid_t pid)
{
    char text[16];
    std::snprintf(text, sizeof text, "%10d\n", int(pid));
    return text;
}

TEST_F(SerialPort, LocksOfLiveProgramsHoldThePortAndThoseOfDeadOnesDoNot)
{
    if (access("/run/lock", W_OK) != 0) GTEST_SKIP() << "no lock folder to write in";
    Pty pty;
    pty.mapAs(1);
    const std::string number = pty.slavePath().substr(pty.slavePath().rfind('/') + 1);
    const std::string lock = "/run/lock/LCK.." + number, qtLock = "/run/lock/LCK..pts_" + number;
    const pid_t live = startProcess("sleep", "60", false), dead = startProcess("true", nullptr, true);
    ASSERT_TRUE(live && dead);
    const std::int32_t binaryPid = live;
    const std::string held = "COM1 is " + pty.slavePath() + ": held by sleep (process " + std::to_string(live) + ")";
    struct Row {
        const char* what;
        std::string file;
        std::string contents;
        std::string seen;  // the box's details, or what the station receives
    };
    const Row table[] = {
        {"ASCII", lock, asciiLock(live), held + ", lock file " + lock},
        {"binary", lock, std::string((const char*)&binaryPid, 4), held + ", lock file " + lock},
        {"Qt's", lock, std::to_string(live) + "\nsleep\nthis-host\n", held + ", lock file " + lock},
        {"Qt's, by Qt's name", qtLock, asciiLock(live), held + ", lock file " + qtLock},
        {"ASCII, dead", lock, asciiLock(dead), "x" + asciiLock(getpid())},
        {"Qt's, dead", qtLock, std::to_string(dead) + "\nquorvex\nthis-host\n", "x" + asciiLock(getpid())},
    };
    for (const Row& row : table) {
        std::ofstream(row.file, std::ios::binary) << row.contents;
        std::string seen;
        auto boxes = withBoxes([&] {
            // Streaming, with our own lock in the long-standing form in place of the dead one.
            if (openComCfg(0, 1) == 1 && ComWrt(1, std::span<const char>("x", 1)) == 1) {
                seen = pty.read() + contentsOf(lock);
            }
        });
        if (!boxes.empty()) seen = boxes[0].detail;
        EXPECT_EQ(seen, row.seen) << row.what;
        const bool streamed = boxes.empty();
        if (!streamed) {
            EXPECT_EQ(contentsOf(row.file), row.contents) << row.what << ": left as it was";
        }
        CloseCom(1);
        if (streamed) {
            EXPECT_NE(access(lock.c_str(), F_OK), 0) << row.what << ": our lock goes at the close";
        }
        unlink(row.file.c_str());
    }
    kill(live, SIGKILL);
    waitpid(live, nullptr, 0);
}

TEST_F(SerialPort, ADeviceHeldUnderAnyNameIsHeld)
{
    if (access("/run/lock", W_OK) != 0) GTEST_SKIP() << "no lock folder to write in";
    Pty pty;
    pty.mapAs(1);
    const std::string ours = "/run/lock/LCK.." + pty.slavePath().substr(pty.slavePath().rfind('/') + 1);
    const std::string link = "quorvex-test-link";
    unlink(link.c_str());
    ASSERT_EQ(symlink(pty.slavePath().c_str(), link.c_str()), 0);
    setenv("QUORVEX_COM2", link.c_str(), 1);
    struct Row {
        const char* what;
        std::function<int()> hold;  // returns a descriptor to close afterwards, or -1
        std::string detail;
    };
    // A holder in this process that has the device open and takes it so.
    auto openAnd = [&](void (*take)(int)) {
        return [&, take] {
            const int holder = ::open(pty.slavePath().c_str(), O_RDWR | O_NOCTTY);
            take(holder);
            return holder;
        };
    };
    const std::string byUs = "COM2 is " + link + ": held by quorvex_tests (process " + std::to_string(getpid()) + ")";
    const Row table[] = {
        {"by another port of this program, under its other name",
         [] {
             openComCfg(0, 1);
             return -1;
         },
         byUs + ", lock file " + ours},
        {"by a program that takes no lock file but flock, even from root",
         openAnd([](int holder) { flock(holder, LOCK_EX); }), byUs},
        {"by a program that only marks it exclusive, even from root",
         openAnd([](int holder) { ioctl(holder, TIOCEXCL); }), byUs},
        {"not by a program that has ended and left its exclusive mark (root takes it over)",
         [&] {
             if (pid_t child = fork(); child == 0) {
                 ioctl(::open(pty.slavePath().c_str(), O_RDWR | O_NOCTTY), TIOCEXCL);
                 _exit(0);
             } else {
                 waitpid(child, nullptr, 0);
             }
             return -1;
         },
         geteuid() == 0 ? "" : "COM2 is " + link + ": marked for exclusive use, and no process of this user has it "
                               "open: another user's program holds it, or one that has ended left the mark, "
                               "which a pseudo-terminal keeps until its other end closes"},
    };
    for (const Row& row : table) {
        SCOPED_TRACE(row.what);
        const int holder = row.hold();
        auto boxes = withBoxes([] { openComCfg(0, 2); });
        // No box at all where the port opens (a mark nobody holds, taken over).
        EXPECT_EQ(boxes.empty() ? "" : boxes[0].detail, row.detail);
        if (holder >= 0) ::close(holder);
        CloseCom(1);
        CloseCom(2);
    }
    unlink(link.c_str());
}

TEST_F(SerialPort, OtherFailuresNameTheirCodeAndTheSystemsReason)
{
    setenv("QUORVEX_COM1", "/nonexistent/ttyUSB9", 1);
    withBoxes([] { openComCfg(0, 1); });
    EXPECT_EQ(comErrorMessage(kComOtherError, 1),
              "Could not open COM port (error -9: No such file or directory).");
    Pty pty;
    OpenComConfig(1, pty.slavePath(), 12345, Parity::None, 8, 1, kComQueueSize, kComQueueSize);
    EXPECT_EQ(ComErrorDetail(1), "no such baud rate: 12345") << "the rate refused";
}

TEST_F(SerialPort, NoTickRunsWhileTheErrorBoxIsUp)
{
    // Streaming when the port fails, its timer due every 20 ms: a tick behind
    // the box would blink "SIMULATING" there.
    const std::pair<int, int> table[] = {{0, ATIMER}, {1, DTIMER}};
    for (auto [format, timer] : table) {
        SCOPED_TRACE(format);
        writeDataFile(std::string(LookupFormat(format)->fileName), "a,1\n" + std::string(1000, 'x'));
        SetCtrlVal(spanel, FORMAT, format);
        openFile();
        ControlTimer(spanel, timer)->setInterval(20);
        SetCtrlAttribute(spanel, timer, ATTR_ENABLED, 1);
        setenv("QUORVEX_COM1", "/nonexistent/ttyUSB9", 1);
        // Up for ten ticks' time: nothing is to happen meanwhile, so nothing to wait for.
        auto boxes = withBoxes([] { openComCfg(0, 1); }, std::chrono::milliseconds(200));
        EXPECT_EQ(boxes.size(), 1u);
        for (const BoxSeen& box : boxes) EXPECT_EQ(box.status, "IDLE") << "as the box closes: no tick blinked behind it";
        removeDataFile(std::string(LookupFormat(format)->fileName));
    }
}

TEST_F(SerialPort, BaudTogglesFlipTogetherAndReopenTheSamePortAtTheNewRate)
{
    Pty pty;
    pty.mapAs(1);
    ASSERT_EQ(openComCfg(0, 1), 1);
    auto* on19200 = qobject_cast<QCheckBox*>(ControlWidget(spanel, BAUD1));
    auto* on9600 = qobject_cast<QCheckBox*>(ControlWidget(spanel, BAUD2));
    QTest::mouseClick(on19200, Qt::LeftButton);  // 19200 was on: now off
    EXPECT_EQ(ctrl(BAUD1), 0);
    EXPECT_EQ(ctrl(BAUD2), 1);
    EXPECT_EQ(baudOf(pty.lineSettings()), 9600);
    QTest::mouseClick(on9600, Qt::LeftButton);  // 9600 was on: now off
    EXPECT_EQ(ctrl(BAUD1), 1);
    EXPECT_EQ(ctrl(BAUD2), 0);
    EXPECT_EQ(baudOf(pty.lineSettings()), 19200);
    QTest::mouseClick(on9600, Qt::LeftButton);  // 9600 was off: now on
    EXPECT_EQ(ctrl(BAUD1), 0);
    EXPECT_EQ(ctrl(BAUD2), 1);
    EXPECT_EQ(baudOf(pty.lineSettings()), 9600);
    EXPECT_EQ(openDescriptorCount(pty.slavePath()), 1) << "the old port is closed before the new open";
}

TEST_F(SerialPort, ComRingMovesTheStreamToTheChosenPort)
{
    Pty first, third;
    first.mapAs(1);
    third.mapAs(3);
    ASSERT_EQ(openComCfg(0, 1), 1);
    pickRing(COM, 3);
    EXPECT_EQ(comport, 3);
    EXPECT_EQ(openDescriptorCount(first.slavePath()), 0);
    EXPECT_EQ(openDescriptorCount(third.slavePath()), 1);
    EXPECT_EQ(timerOn(ATIMER), 1);
    // A failed pick leaves the failed number to be closed next time.
    auto boxes = withBoxes([] { pickRing(COM, 2); });
    EXPECT_EQ(boxes.size(), 1u);
    EXPECT_EQ(comport, 2);
    EXPECT_EQ(openDescriptorCount(third.slavePath()), 0);
    pickRing(COM, 3);
    EXPECT_EQ(timerOn(ATIMER), 1);
}

TEST_F(SerialPort, LostDeviceIsReportedOnceAndThenTheProgramIsQuiet)
{
    // A pulled USB adapter hangs its tty up; a station's cable pulled closes the far end.
    struct Row {
        const char* what;
        bool hangUp;     // else the far end closes
        bool streaming;  // else nothing is being written (no data file)
    };
    const Row table[] = {
        {"far end closes while streaming", false, true},
        {"hang-up while streaming", true, true},
        {"hang-up with nothing written", true, false},
    };
    for (const Row& row : table) {
        SCOPED_TRACE(row.what);
        auto pty = std::make_unique<Pty>();
        pty->mapAs(1);
        if (row.streaming) writeDataFile("blender.csv", "a,1\nb,2\n");
        else removeDataFile("blender.csv");
        openFile();
        EXPECT_EQ(openComCfg(0, 1), 1);
        tick(ATIMER);
        if (row.streaming) {
            EXPECT_EQ(pty->read(5), "a,1\r\n");
        }
        std::string slave = pty->slavePath();
        std::vector<BoxSeen> boxes = withBoxes([&] {
            if (row.hangUp) {
                int fd = ::open(slave.c_str(), O_RDWR | O_NOCTTY);
                ::ioctl(fd, TIOCVHANGUP);
                ::close(fd);
            } else {
                pty->closeMaster();
            }
            waitForBox();
        });
        EXPECT_EQ(boxes.size(), 1u);
        for (const BoxSeen& box : boxes) {
            EXPECT_EQ(box.title, "COM Error");
            EXPECT_EQ(box.text, "Serial port not found.");
        }
        EXPECT_EQ(timerOn(ATIMER), 0);
        EXPECT_EQ(statusText(), "IDLE");
        EXPECT_EQ(openDescriptorCount(slave), 0);
        double before = cpuSeconds();
        pump(std::chrono::milliseconds(1000));  // measured over a while: a spin shows in any second
        EXPECT_LT(cpuSeconds() - before, 0.2) << "nothing spins once the port is gone";
    }
    removeDataFile("blender.csv");
}

TEST_F(SerialPort, OutputQueueDropsWholeWritesWhenNobodyReads)
{
    Pty pty;
    pty.mapAs(1);
    ASSERT_EQ(openComCfg(0, 1), 1);
    const std::string record(1000, 'x');
    int accepted = 0;
    for (int i = 0; i < 2000; ++i) accepted += ComWrt(1, record) > 0;
    EXPECT_LE(GetOutQLen(1), kComQueueSize);
    EXPECT_LT(accepted, 2000);
    std::string got = pty.drain(std::chrono::milliseconds(300));
    EXPECT_EQ(got.size(), std::size_t(accepted) * record.size()) << "every write went out whole or not at all";
}

}  // namespace
