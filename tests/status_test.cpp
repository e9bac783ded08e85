// The status text and the taskbar text: idle, simulating, and the blink.
#include <QLabel>

#include "app/status.h"
#include "platform/inspect.h"
#include "platform/runtime.h"
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
    ShowSimulating();
    EXPECT_EQ(seen(), (Seen{"SIMULATING", 1, "Simulating"}));
    ShowIdle();
    EXPECT_EQ(seen(), (Seen{"IDLE", 1, "Idle"}));
    EXPECT_EQ(PanelWidget(spanel)->windowIconText(), "Idle") << "the taskbar shows the main window's icon text";
    EXPECT_EQ(PanelWidget(spanel)->windowTitle(), "Quorvex  2.14");
}

TEST_F(Status, BlinkStepsAlternateThePhase)
{
    const Seen expected[] = {{"SIMULATING", 0, "Simulating"}, {"SIMULATING", 1, "Simulating"},
                             {"SIMULATING", 0, "Simulating"}};
    for (const Seen& step : expected) {
        BlinkStep();
        EXPECT_EQ(seen(), step);
        EXPECT_EQ(visible, step.shown);
    }
}

TEST_F(Status, OpenedWhileHiddenReadsSimulatingButStaysHiddenUntilTheNextStep)
{
    BlinkStep();        // the stream blinked into its hidden phase
    ShowSimulating();   // a change of port re-opened it
    EXPECT_EQ(seen(), (Seen{"SIMULATING", 0, "Simulating"}));
    BlinkStep();
    EXPECT_EQ(seen(), (Seen{"SIMULATING", 1, "Simulating"}));
}

TEST_F(Status, IdleShowsTheTextButLeavesThePhase)
{
    BlinkStep();
    ShowIdle();
    EXPECT_EQ(seen(), (Seen{"IDLE", 1, "Idle"}));
    EXPECT_EQ(visible, 0);
    ShowSimulating();  // the port opened again
    EXPECT_EQ(seen(), (Seen{"SIMULATING", 1, "Simulating"}));
}

TEST_F(Status, IdleThenBlinkInOneTickEndsSimulatingInTheNextPhase)
{
    BlinkStep();
    ASSERT_EQ(visible, 0);
    ShowIdle();
    BlinkStep();
    EXPECT_EQ(seen(), (Seen{"SIMULATING", 1, "Simulating"}));
}

TEST_F(Status, BinaryTicksBlinkEveryFourthAndTheCountSurvivesOtherCalls)
{
    std::vector<int> shown;
    for (int i = 0; i < 12; ++i) {
        CountBinaryTick();
        int s = -1;
        GetCtrlAttribute(spanel, TEXT, ATTR_VISIBLE, s);
        shown.push_back(s);
        if (i == 5) ShowSimulating();  // a re-open between ticks keeps the count
    }
    EXPECT_EQ(shown, (std::vector<int>{1, 1, 1, 0, 0, 0, 0, 1, 1, 1, 1, 0}));
    EXPECT_EQ(blinkCount, 0);
}

TEST_F(Status, AnyNonZeroFlagCountsAsShown)
{
    visible = 7;
    BlinkStep();
    EXPECT_EQ(visible, 0);
}

}  // namespace
