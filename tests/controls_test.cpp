// How controls raise events: user actions raise them, the program's own
// settings never do; the close box operates the panel's close control.
#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <vector>

#include "platform/ui/inspect.h"
#include "platform/runtime.h"
#include "support.h"

namespace {

struct Raised {
    int control;
    int event;
    bool operator==(const Raised&) const = default;
};
std::vector<Raised> raised;

int record(int, int control, int event, void*, int, int)
{
    raised.push_back({control, event});
    return 0;
}

constexpr ItemDef kItems[] = {{"one", 1}, {"six", 6}, {"three", 3}};

ControlDef def(int number, CtrlKind kind, Place place)
{
    ControlDef c{.number = number, .constant = "C", .kind = kind, .place = place};
    c.callback = "record";
    return c;
}

const ControlDef kControls[] = {
    def(2, CtrlKind::CommandButton, {0, 0, 40, 20}),
    [] {
        ControlDef c = def(3, CtrlKind::Toggle, {10, 30, 13, 13});
        c.value = 1;
        c.label = {"on", 26, 30, {}};
        return c;
    }(),
    [] {
        ControlDef c = def(4, CtrlKind::Ring, {10, 50, 80, 20});
        c.items = kItems;
        c.value = 6;
        return c;
    }(),
    [] {
        ControlDef c = def(5, CtrlKind::Timer, {});
        c.intervalMs = 20;
        return c;
    }(),
};

const PanelDef kPanels[] = {
    {.number = 1, .constant = "TEST", .title = "Test", .width = 100, .height = 80, .closeControl = 2,
     .controls = kControls},
};

CtrlCallback resolve(std::string_view name) { return name == "record" ? record : nullptr; }

const UirFile kTestUir{"controls-test.uir", kPanels, resolve};

class Controls : public testing::Test {
protected:
    void SetUp() override
    {
        RegisterUirFile(kTestUir);
        panel = LoadPanel(0, "controls-test.uir", 1);
        ASSERT_GT(panel, 0);
        raised.clear();
    }
    void TearDown() override { DiscardPanel(panel); }
    int value(int control)
    {
        int v = -1;
        GetCtrlVal(panel, control, v);
        return v;
    }
    int panel = 0;
};

TEST_F(Controls, ClickingAToggleFlipsItEitherWayAndRaisesValueChangedOnce)
{
    auto* toggle = qobject_cast<QCheckBox*>(ControlWidget(panel, 3));
    QTest::mouseClick(toggle, Qt::LeftButton);
    EXPECT_EQ(value(3), 0);
    EXPECT_EQ(raised, (std::vector<Raised>{{3, EVENT_VAL_CHANGED}}));
    QTest::mouseClick(toggle, Qt::LeftButton);
    EXPECT_EQ(value(3), 1);
    EXPECT_EQ(raised.size(), 2u);
}

TEST_F(Controls, ClickingAToggleCaptionClicksTheToggle)
{
    QTest::mouseClick(ControlLabelWidget(panel, 3), Qt::LeftButton);
    EXPECT_EQ(value(3), 0);
    EXPECT_EQ(raised, (std::vector<Raised>{{3, EVENT_VAL_CHANGED}}));
}

TEST_F(Controls, SettingValuesFromTheProgramRaisesNothing)
{
    SetCtrlVal(panel, 3, 0);
    SetCtrlVal(panel, 3, 1);
    SetCtrlVal(panel, 4, 3);
    EXPECT_EQ(value(3), 1);
    EXPECT_EQ(value(4), 3);
    EXPECT_TRUE(raised.empty());
    EXPECT_EQ(SetCtrlVal(panel, 4, 4), UIE_BAD_ATTRIBUTE) << "a value no item has";
    EXPECT_EQ(value(4), 3);
}

TEST_F(Controls, PickingARingItemRaisesCommitWithTheItemsValue)
{
    auto* ring = qobject_cast<QComboBox*>(ControlWidget(panel, 4));
    EXPECT_EQ(value(4), 6);
    ring->setCurrentIndex(2);
    emit ring->activated(2);
    EXPECT_EQ(value(4), 3);
    EXPECT_EQ(raised, (std::vector<Raised>{{4, EVENT_COMMIT}}));
}

TEST_F(Controls, ButtonClickRaisesCommit)
{
    QTest::mouseClick(ControlWidget(panel, 2), Qt::LeftButton);
    EXPECT_EQ(raised, (std::vector<Raised>{{2, EVENT_COMMIT}}));
}

TEST_F(Controls, CloseBoxOperatesTheCloseControlAndLeavesTheWindowToIt)
{
    DisplayPanel(panel);
    QWidget* window = PanelWidget(panel);
    EXPECT_FALSE(window->close()) << "the window does not close by itself";
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(raised, (std::vector<Raised>{{2, EVENT_COMMIT}}));
}

TEST_F(Controls, TimerTicksOnlyWhileSwitchedOnAndKeepsItsScheduleWhenSwitchedOnAgain)
{
    // Three intervals of a timer that is off: nothing is to happen, so nothing to wait for.
    pump(std::chrono::milliseconds(60));
    EXPECT_TRUE(raised.empty());
    SetCtrlAttribute(panel, 5, ATTR_ENABLED, 1);
    QTimer* timer = ControlTimer(panel, 5);
    // Switched on again at least halfway to a tick: a restart would put the tick a whole interval off.
    ASSERT_TRUE(waitFor([&] { return timer->remainingTime() <= 10; }));
    int before = timer->remainingTime();
    SetCtrlAttribute(panel, 5, ATTR_ENABLED, 1);
    EXPECT_LE(timer->remainingTime(), before);
    waitFor([] { return raised.size() >= 3; });
    SetCtrlAttribute(panel, 5, ATTR_ENABLED, 0);
    EXPECT_GE(raised.size(), 3u);
    for (const Raised& r : raised) EXPECT_EQ(r, (Raised{5, EVENT_TIMER_TICK}));
    raised.clear();
    pump(std::chrono::milliseconds(60));  // as at the start: three intervals switched off
    EXPECT_TRUE(raised.empty());
}

TEST_F(Controls, DiscardingAPanelInsideItsOwnCallbackIsSafe)
{
    static int self = 0;
    self = panel;
    // The button's callback discards the panel while the click is still being delivered.
    auto* button = qobject_cast<QPushButton*>(ControlWidget(panel, 2));
    QObject::connect(button, &QPushButton::clicked, [] { DiscardPanel(self); });
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_EQ(PanelWidget(panel), nullptr);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(DiscardPanel(panel), UIE_BAD_PANEL);
    panel = 0;
}

}  // namespace
