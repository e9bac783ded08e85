// Failures that only show for an ordinary user (root opens anything): run by
// the AsUser test, which starts this program as "nobody".
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/runtime.h"
#include "serial/comcfg.h"
#include "support.h"
#include "ui/quorvex.h"

namespace {

class AsUser : public MainPanelTest {
protected:
    void SetUp() override
    {
        if (geteuid() == 0) GTEST_SKIP() << "needs an ordinary user";
        MainPanelTest::SetUp();
    }
};

// The detailed text gives the remedy exactly when permission was missing.
void expectComError(const char* message, bool remedy)
{
    int result = 1;
    auto boxes = withBoxes([&] { result = openComCfg(0, 1); });
    EXPECT_EQ(result, 0);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].title, "COM Error");
    EXPECT_EQ(boxes[0].text, message);
    EXPECT_EQ(boxes[0].detail.find("Add yourself to the group ") != std::string::npos, remedy) << boxes[0].detail;
}

TEST_F(AsUser, PortWithoutPermissionCannotBeOpened)
{
    Pty pty;
    pty.mapAs(1);
    ASSERT_EQ(chmod(pty.slavePath().c_str(), 0), 0);
    expectComError("Could not open COM port.", true);
}

TEST_F(AsUser, PortHeldByAnotherProgramCannotBeOpened)
{
    Pty pty;
    pty.mapAs(1);
    int holder = ::open(pty.slavePath().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(ioctl(holder, TIOCEXCL), 0);
    expectComError("Could not open COM port.", false);
    // A pseudo-terminal keeps its exclusive flag while its master is open, so
    // the holder clears it as it lets go, as the last close of a real port does.
    ioctl(holder, TIOCNXCL);
    ::close(holder);
    EXPECT_EQ(openComCfg(0, 1), 1) << "free again once the other program lets go: " << ComErrorDetail(1);
}

}  // namespace
