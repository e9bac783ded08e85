// Which device each COM number is when no QUORVEX_COM<n> pins it: the ports
// present at start, built-in first, then adapters; numbers that stay with
// their devices as adapters come and go; and the COM ring's tooltips saying so.
#include <QComboBox>

#include <grp.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/serial/comnumbers.h"
#include "platform/ui/inspect.h"
#include "platform/runtime.h"
#include "serial/comcfg.h"
#include "support.h"
#include "ui/quorvex.h"

namespace {

std::vector<PresentPort> listed;
std::vector<PresentPort> listedPorts() { return listed; }

class ComNumbers : public MainPanelTest {
protected:
    void SetUp() override
    {
        MainPanelTest::SetUp();
        // Earlier tests may leave a pseudo-terminal mapped; these numbers are unpinned.
        for (int port = 1; port <= 16; ++port) unsetenv(("QUORVEX_COM" + std::to_string(port)).c_str());
        SetPortLister(listedPorts);
    }
    void TearDown() override
    {
        SetPortLister(nullptr);
        listed.clear();
        MainPanelTest::TearDown();
    }
};

TEST_F(ComNumbers, PresentPortsTakeNumbersBuiltInFirstThenAdaptersInNumericOrder)
{
    struct Row {
        const char* name;
        std::vector<std::string> present;
        const char* pinnedCom1;  // QUORVEX_COM1, or nullptr
        std::vector<std::string> com1to3;
    };
    const Row rows[] = {
        {"none", {}, nullptr, {"no port", "no port", "no port"}},
        {"built-in only", {"/dev/ttyS1", "/dev/ttyS0"}, nullptr, {"/dev/ttyS0", "/dev/ttyS1", "no port"}},
        {"adapters only", {"/dev/ttyACM0", "/dev/ttyUSB0"}, nullptr, {"/dev/ttyUSB0", "/dev/ttyACM0", "no port"}},
        {"both", {"/dev/ttyUSB0", "/dev/ttyS0"}, nullptr, {"/dev/ttyS0", "/dev/ttyUSB0", "no port"}},
        {"numeric order", {"/dev/ttyUSB10", "/dev/ttyACM1", "/dev/ttyUSB2"}, nullptr,
         {"/dev/ttyUSB2", "/dev/ttyUSB10", "/dev/ttyACM1"}},
        {"the rest last", {"/dev/ttyAMA10", "/dev/rfcomm0", "/dev/ttyAMA2"}, nullptr,
         {"/dev/rfcomm0", "/dev/ttyAMA2", "/dev/ttyAMA10"}},
        {"override beside present ports", {"/dev/ttyUSB0", "/dev/ttyS0"}, "/dev/pts/7",
         {"/dev/pts/7", "/dev/ttyUSB0", "no port"}},
    };
    for (const Row& row : rows) {
        SetPortLister(listedPorts);  // a machine starting
        listed.clear();
        for (const std::string& device : row.present) listed.push_back({device, ""});
        if (row.pinnedCom1) setenv("QUORVEX_COM1", row.pinnedCom1, 1);
        std::vector<std::string> seen{ComPortDescription(1), ComPortDescription(2), ComPortDescription(3)};
        EXPECT_EQ(seen, row.com1to3) << row.name;
        unsetenv("QUORVEX_COM1");
    }
}

TEST_F(ComNumbers, NumbersStayWithTheirDevicesWhileAdaptersComeAndGo)
{
    struct Step {
        const char* what;
        std::vector<std::string> present;
        std::vector<std::string> com1to4;
    };
    const Step steps[] = {
        {"at start", {"/dev/ttyUSB1", "/dev/ttyS0", "/dev/ttyUSB0"},
         {"/dev/ttyS0", "/dev/ttyUSB0", "/dev/ttyUSB1", "no port"}},
        {"ttyUSB0 unplugged", {"/dev/ttyS0", "/dev/ttyUSB1"}, {"/dev/ttyS0", "no port", "/dev/ttyUSB1", "no port"}},
        {"another adapter plugged in", {"/dev/ttyACM0", "/dev/ttyS0", "/dev/ttyUSB1"},
         {"/dev/ttyS0", "no port", "/dev/ttyUSB1", "/dev/ttyACM0"}},
        {"ttyUSB0 back", {"/dev/ttyUSB0", "/dev/ttyACM0", "/dev/ttyS0", "/dev/ttyUSB1"},
         {"/dev/ttyS0", "/dev/ttyUSB0", "/dev/ttyUSB1", "/dev/ttyACM0"}},
        {"all gone", {}, {"no port", "no port", "no port", "no port"}},
    };
    for (const Step& step : steps) {
        listed.clear();
        for (const std::string& device : step.present) listed.push_back({device, ""});
        std::vector<std::string> seen;
        for (int port = 1; port <= 4; ++port) seen.push_back(ComPortDescription(port));
        EXPECT_EQ(seen, step.com1to4) << step.what;
    }
}

TEST_F(ComNumbers, RingTooltipsNameEachDeviceAsListedWhenTheRingOpens)
{
    auto* ring = qobject_cast<QComboBox*>(ControlWidget(spanel, COM));
    ASSERT_NE(ring, nullptr);
    auto tips = [ring] {
        ring->showPopup();
        ring->hidePopup();
        std::vector<std::string> seen;
        for (int i = 0; i < 3; ++i) seen.push_back(ring->itemData(i, Qt::ToolTipRole).toString().toStdString());
        return seen;
    };
    listed = {{"/dev/ttyUSB0", "FT232R USB UART (FTDI)"}, {"/dev/ttyS0", ""}};
    EXPECT_EQ(tips(), (std::vector<std::string>{"/dev/ttyS0", "/dev/ttyUSB0 - FT232R USB UART (FTDI)", "no port"}));
    listed.push_back({"/dev/ttyACM0", "Pico (Raspberry Pi)"});  // plugged in while running
    EXPECT_EQ(tips()[2], "/dev/ttyACM0 - Pico (Raspberry Pi)");
    EXPECT_EQ(ring->count(), 16);
    EXPECT_EQ(ring->itemText(0), "1");
}

TEST_F(ComNumbers, UnpinnedNumbersOpenTheirOwnDevicesAndNoneBeyond)
{
    Pty ptys[2];  // listed as the machine's ports, not pinned
    listed = {{ptys[0].slavePath(), ""}, {ptys[1].slavePath(), ""}};
    const int second = ComDeviceName(2) == ptys[0].slavePath() ? 0 : 1;
    listed.erase(listed.begin() + (1 - second));  // COM1's adapter pulled out
    ASSERT_EQ(OpenComConfig(2, "", 9600, Parity::None, 8, 1, kComQueueSize, kComQueueSize), 0);
    ComWrt(2, std::span<const char>("x", 1));
    EXPECT_EQ(ptys[second].read(), "x") << "COM2 is still the device it was";
    CloseCom(2);
    auto boxes = withBoxes([] { openComCfg(0, 3); });
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text + "\n" + boxes[0].detail,
              "Invalid COM port number for this system.\nThis computer has no serial port that is COM3.");
}

// The remedy itself (the device's group) is seen by AsUser.PortWithoutPermissionCannotBeOpened.
TEST(PermissionRemedy, NothingWhenPermissionIsNotTheCause)
{
    const std::string device = dataFilePath("ttyUSB0.stand-in");
    writeDataFile("ttyUSB0.stand-in", "");
    const group* dialout = getgrnam("dialout");
    if (!dialout || chown(device.c_str(), uid_t(-1), dialout->gr_gid) != 0) {
        removeDataFile("ttyUSB0.stand-in");
        GTEST_SKIP() << "needs root and a group dialout";
    }
    EXPECT_EQ(PermissionRemedy(device), "") << "root may open it: another program holds it";
    EXPECT_EQ(PermissionRemedy("/nonexistent/ttyUSB0"), "");
    removeDataFile("ttyUSB0.stand-in");
}

}  // namespace
