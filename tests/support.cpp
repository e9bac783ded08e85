#include "support.h"

#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QMessageBox>
#include <QTimer>

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/formats.h"
#include "app/startup.h"
#include "app/status.h"
#include "platform/ui/inspect.h"
#include "platform/runtime.h"
#include "serial/comcfg.h"
#include "stream/datafile.h"
#include "stream/streams.h"
#include "ui/quorvex.h"

void MainPanelTest::SetUp()
{
    spanel = LoadPanel(0, kUirFile, PANEL);
    ASSERT_GT(spanel, 0);
    InstallComLostHandler(comPortLost);
}

// The program's own shutdown puts the window's device back as it was at
// start; the ports a test opened beside it are closed too.
void MainPanelTest::TearDown()
{
    shutDown();
    ResetComPorts();
    for (int port = 1; port <= 16; ++port) unsetenv(("QUORVEX_COM" + std::to_string(port)).c_str());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void StreamTest::SetUp()
{
    MainPanelTest::SetUp();
    pty.mapAs(1);
}

void StreamTest::stream(int format, const std::string& contents)
{
    writeDataFile(std::string(LookupFormat(format)->fileName), contents);
    SetCtrlVal(spanel, FORMAT, format);
    openFile();
    ASSERT_EQ(openComCfg(0, 1), 1);
}

void StreamTest::TearDown()
{
    MainPanelTest::TearDown();
    for (const char* name : {"blender.csv", "blenderplus.csv", "frac.csv", "dd16.csv", "ddec.bin", "hdv2.bin"})
        removeDataFile(name);
    std::error_code ignored;
    std::filesystem::remove_all(GetRecordingsDir(), ignored);
}

std::string shippedRecording(const std::string& name)
{
    std::ifstream in(std::string(QUORVEX_SOURCE_DATA_DIR) + "/" + name, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

Pty::Pty()
{
    master_ = posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) {
        ADD_FAILURE() << "no pseudo-terminal";
        return;
    }
    slave_ = ptsname(master_);
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
}

Pty::~Pty() { closeMaster(); }

void Pty::closeMaster()
{
    if (master_ >= 0) ::close(master_);
    master_ = -1;
}

void Pty::mapAs(int comPort) const
{
    setenv(("QUORVEX_COM" + std::to_string(comPort)).c_str(), slave_.c_str(), 1);
}

std::string Pty::read(std::size_t atLeast, std::chrono::milliseconds timeout)
{
    std::string got;
    auto deadline = std::chrono::steady_clock::now() + timeout;
    char buffer[4096];
    while (true) {
        QCoreApplication::processEvents();
        ssize_t n = ::read(master_, buffer, sizeof buffer);
        if (n > 0) got.append(buffer, std::size_t(n));
        if (got.size() >= atLeast && n <= 0) break;
        if (std::chrono::steady_clock::now() > deadline) break;
        if (n <= 0) {
            pollfd fd{master_, POLLIN, 0};
            poll(&fd, 1, 5);
        }
    }
    return got;
}

std::string Pty::drain(std::chrono::milliseconds quiet) { return read(SIZE_MAX, quiet); }

termios Pty::lineSettings() const
{
    termios settings{};
    tcgetattr(master_, &settings);
    return settings;
}

bool waitFor(const std::function<bool()>& condition, std::chrono::milliseconds limit)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        usleep(1000);
    }
    return true;
}

void pump(std::chrono::milliseconds duration)
{
    waitFor([] { return false; }, duration);
}

std::string dataFilePath(const std::string& name) { return MakePathname(GetProjectDir(), name); }

void writeDataFile(const std::string& name, const std::string& contents)
{
    std::ofstream out(dataFilePath(name), std::ios::binary | std::ios::trunc);
    out << contents;
}

void removeDataFile(const std::string& name) { std::remove(dataFilePath(name).c_str()); }

void writeUserDataFile(const std::string& name, const std::string& contents)
{
    std::filesystem::create_directories(GetRecordingsDir());
    std::ofstream out(MakePathname(GetRecordingsDir(), name), std::ios::binary | std::ios::trunc);
    out << contents;
}

namespace {
bool expectingBoxes = false;
// What the running withBoxes has seen so far.
const std::vector<BoxSeen>* boxesSeen = nullptr;
}  // namespace

void failOnUnexpectedBoxes()
{
    // A box nobody expected would wait for a click forever: dismiss it and fail.
    auto* watchdog = new QTimer(qApp);
    watchdog->setInterval(50);
    QObject::connect(watchdog, &QTimer::timeout, [] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || expectingBoxes) return;
        ADD_FAILURE() << "unexpected message box: " << box->windowTitle().toStdString() << ": "
                      << box->text().toStdString();
        box->done(QMessageBox::Ok);
    });
    watchdog->start();
}

std::vector<BoxSeen> withBoxes(const std::function<void()>& action, std::chrono::milliseconds keepUp)
{
    std::vector<BoxSeen> seen;
    expectingBoxes = true;
    boxesSeen = &seen;
    QWidget* current = nullptr;
    auto upSince = std::chrono::steady_clock::now();
    QTimer closer;
    closer.setInterval(keepUp.count() > 0 ? 5 : 0);
    QObject::connect(&closer, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) return;
        if (box != current) {
            current = box;
            upSince = std::chrono::steady_clock::now();
        }
        if (std::chrono::steady_clock::now() - upSince < keepUp) return;
        seen.push_back({box->windowTitle().toStdString(), box->text().toStdString(),
                        box->detailedText().toStdString(), spanel > 0 ? statusText() : ""});
        current = nullptr;
        box->done(QMessageBox::Ok);
    });
    closer.start();
    action();
    expectingBoxes = false;
    boxesSeen = nullptr;
    return seen;
}

bool waitForBox(std::chrono::milliseconds limit)
{
    return waitFor([] { return boxesSeen && !boxesSeen->empty(); }, limit);
}

void holdTimers()
{
    SetCtrlAttribute(spanel, ATIMER, ATTR_ENABLED, 0);
    SetCtrlAttribute(spanel, DTIMER, ATTR_ENABLED, 0);
}

void tick(int timerControl, int times)
{
    CtrlCallback callback = timerControl == ATIMER ? ATimerTick : DTimerTick;
    for (int i = 0; i < times; ++i) callback(spanel, timerControl, EVENT_TIMER_TICK, nullptr, 0, 0);
}

void pickRing(int control, int value)
{
    auto* ring = qobject_cast<QComboBox*>(ControlWidget(spanel, control));
    ASSERT_NE(ring, nullptr);
    int index = ring->findData(value);
    ASSERT_GE(index, 0);
    ring->setCurrentIndex(index);
    emit ring->activated(index);
}

int baudOf(const termios& settings)
{
    switch (cfgetospeed(&settings)) {
    case B9600: return 9600;
    case B19200: return 19200;
    case B115200: return 115200;
    default: return -1;
    }
}

std::string statusText()
{
    std::string text;
    GetCtrlVal(spanel, TEXT, text);
    return text;
}

bool timerOn(int control)
{
    int on = 0;
    GetCtrlAttribute(spanel, control, ATTR_ENABLED, on);
    return on != 0;
}

int openDescriptorCount(const std::string& leadingTo)
{
    int count = 0;
    DIR* dir = opendir("/proc/self/fd");
    const int own = dirfd(dir);
    while (dirent* entry = readdir(dir)) {
        if (entry->d_name[0] == '.' || std::atoi(entry->d_name) == own) continue;
        if (leadingTo.empty()) {
            ++count;
            continue;
        }
        char target[PATH_MAX] = {};
        const std::string link = std::string("/proc/self/fd/") + entry->d_name;
        if (readlink(link.c_str(), target, sizeof target - 1) > 0 && leadingTo == target) ++count;
    }
    closedir(dir);
    return count;
}

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}
