// Faults that only an ordinary user meets (root opens anything): run by the
// FaultAsUser test through fault_as_user.sh, as "nobody", beside a data file
// that it may not read.
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

#include "fault_support.h"
#include "platform/runtime.h"
#include "serial/comcfg.h"
#include "stream/datafile.h"
#include "ui/quorvex.h"

namespace {

class FaultAsUser : public MainPanelTest {
protected:
    void SetUp() override
    {
        if (geteuid() == 0) GTEST_SKIP() << "needs an ordinary user";
        MainPanelTest::SetUp();
        pty.mapAs(1);
    }
    std::string lockFile() const { return "/run/lock/LCK.." + pty.slavePath().substr(pty.slavePath().rfind('/') + 1); }
    Pty pty;
};

TEST_F(FaultAsUser, UnreadableDataFileSendsNothingShowsIdleAndRetriesQuietly)
{
    ASSERT_NE(access(dataFilePath("blender.csv").c_str(), F_OK), -1) << "left by fault_as_user.sh";
    ASSERT_EQ(access(dataFilePath("blender.csv").c_str(), R_OK), -1);
    expectNothingLeftBehind([&] {
        pickRing(FORMAT, 0);
        ASSERT_EQ(openComCfg(1, 1), 1);
        holdTimers();
        tick(ATIMER, 5);
        EXPECT_EQ(pty.drain(std::chrono::milliseconds(30)), "");
        EXPECT_EQ(statusText(), "IDLE");
        SetCtrlAttribute(spanel, ATIMER, ATTR_ENABLED, 1);
        EXPECT_LT(cpuWhile(std::chrono::milliseconds(1100)), 0.2) << "one open a second, no more";
        holdTimers();
        EXPECT_EQ(pty.drain(std::chrono::milliseconds(30)), "");
    });
}

struct PortRow {
    const char* what;
    std::function<int()> block;         // returns a descriptor to close afterwards, or -1
    std::function<void(int)> unblock;
};

TEST_F(FaultAsUser, PortsThatCannotBeOpenedLeaveNothingBehind)
{
    const PortRow table[] = {
        {"permission denied", [&] { chmod(pty.slavePath().c_str(), 0); return -1; },
         [&](int) { chmod(pty.slavePath().c_str(), 0620); }},
        {"held by another program",
         [&] {
             int holder = ::open(pty.slavePath().c_str(), O_RDWR | O_NOCTTY);
             ioctl(holder, TIOCEXCL);
             return holder;
         },
         [](int holder) {
             ioctl(holder, TIOCNXCL);
             ::close(holder);
         }},
        {"locked by another user's live program",  // process 1: root's, alive
         [&] {
             std::ofstream(lockFile()) << "         1\n";
             return -1;
         },
         [&](int) { unlink(lockFile().c_str()); }},
    };
    for (const PortRow& row : table) {
        SCOPED_TRACE(row.what);
        expectNothingLeftBehind([&] {
            // Our own close clears a pseudo-terminal's exclusive flag, whoever set it.
            CloseCom(1);
            int holder = row.block();
            auto boxes = withBoxes([] { openComCfg(1, 1); });
            EXPECT_EQ(boxes.size(), 1u);
            for (const BoxSeen& box : boxes) EXPECT_EQ(box.text.rfind("Could not open COM port.", 0), 0u) << box.text;
            EXPECT_FALSE(timerOn(ATIMER) || timerOn(DTIMER));
            EXPECT_LT(cpuWhile(std::chrono::milliseconds(300)), 0.1);
            row.unblock(holder);
            EXPECT_EQ(openComCfg(1, 1), 1) << ComErrorDetail(1);
            holdTimers();
        });
    }
}

}  // namespace
