// What the main window holds once loaded: every control with its number, kind,
// text, value, items, place and timer interval.
#include <QAccessible>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

#include "platform/ui/inspect.h"
#include "platform/runtime.h"
#include "support.h"
#include "ui/quorvex.h"

namespace {

QWidget* widget(int control) { return ControlWidget(spanel, control); }

struct Expected {
    int control;
    const char* kind;  // Qt class
    QRect place;       // width 0: follows the text
    const char* text;
};

class MainPanel : public MainPanelTest {};

TEST_F(MainPanel, WindowHasTitleSizeAndColour)
{
    QWidget* window = PanelWidget(spanel);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->windowTitle(), "Quorvex  2.14");
    EXPECT_EQ(window->size(), QSize(462, 153));
    EXPECT_EQ(window->grab().toImage().pixelColor(1, 1), QColor(192, 192, 192));
    EXPECT_FALSE(window->isVisible()) << "a loaded panel stays hidden until displayed";
}

TEST_F(MainPanel, ControlsHaveTheirNumbersKindsPlacesAndTexts)
{
    const Expected table[] = {
        {FORMAT, "QComboBox", {146, 114, 303, 23}, "Velmara Automatic Blending System"},
        {SHOW, "QPushButton", {224, 78, 128, 23}, "Show Parameter List"},
        {COM, "QComboBox", {388, 21, 50, 23}, "1"},
        {TEXT, "QLabel", {149, 23, 0, 36}, "IDLE"},
        {PICTURE, "QLabel", {6, 7, 127, 139}, ""},
        {DECORATION, "QFrame", {146, 14, 222, 53}, ""},
        {DECORATION_2, "QFrame", {5, 6, 131, 143}, ""},
        {TEXTMSG_2, "QLabel", {152, 96, 0, 16}, "Format"},
        {BAUD2, "QCheckBox", {386, 86, 13, 13}, ""},
        {BAUD1, "QCheckBox", {386, 70, 13, 13}, ""},
        {DECORATION_3, "QFrame", {378, 59, 68, 45}, ""},
        {TEXTMSG_3, "QLabel", {386, 51, 0, 16}, " Baud "},
    };
    for (const Expected& row : table) {
        SCOPED_TRACE(row.control);
        QWidget* w = widget(row.control);
        EXPECT_NE(w, nullptr);
        if (!w) continue;
        EXPECT_TRUE(w->inherits(row.kind)) << w->metaObject()->className();
        EXPECT_EQ(w->pos(), row.place.topLeft());
        EXPECT_EQ(w->height(), row.place.height());
        if (row.place.width()) {
            EXPECT_EQ(w->width(), row.place.width());
        }
        QString text;
        if (auto* b = qobject_cast<QAbstractButton*>(w)) text = b->text();
        if (auto* l = qobject_cast<QLabel*>(w)) text = l->text();
        if (auto* r = qobject_cast<QComboBox*>(w)) text = r->currentText();
        EXPECT_EQ(text.toStdString(), row.text);
    }
    EXPECT_EQ(ControlTimer(spanel, ATIMER) != nullptr && ControlTimer(spanel, DTIMER) != nullptr, true);
    EXPECT_EQ(widget(ATIMER), nullptr) << "timers are not drawn";
    EXPECT_EQ(widget(17), nullptr);
}

TEST_F(MainPanel, RingsOfferTheirItemsInOrderWithValues)
{
    auto* format = qobject_cast<QComboBox*>(widget(FORMAT));
    const std::pair<const char*, int> formats[] = {
        {"Velmara Automatic Blending System", 0}, {"Velmara+ Automatic Blending System", 6},
        {"Velmara Intelligent Pump Control", 3},  {"Velmara Digital DAS 16", 5},
        {"SAE J1587", 1},                         {"SAE J1939", 2},
    };
    ASSERT_EQ(format->count(), 6);
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(format->itemText(i).toStdString(), formats[i].first);
        EXPECT_EQ(format->itemData(i).toInt(), formats[i].second);
    }
    auto* com = qobject_cast<QComboBox*>(widget(COM));
    ASSERT_EQ(com->count(), 16);
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(com->itemText(i), QString::number(i + 1));
        EXPECT_EQ(com->itemData(i).toInt(), i + 1);
    }
    int value = -1;
    GetCtrlVal(spanel, FORMAT, value);
    EXPECT_EQ(value, 0);
    GetCtrlVal(spanel, COM, value);
    EXPECT_EQ(value, 1);
}

TEST_F(MainPanel, BaudTogglesStartAt19200WithCaptionsBeside)
{
    int on = -1;
    GetCtrlVal(spanel, BAUD1, on);
    EXPECT_EQ(on, 1);
    GetCtrlVal(spanel, BAUD2, on);
    EXPECT_EQ(on, 0);
    auto* caption1 = qobject_cast<QLabel*>(ControlLabelWidget(spanel, BAUD1));
    auto* caption2 = qobject_cast<QLabel*>(ControlLabelWidget(spanel, BAUD2));
    ASSERT_TRUE(caption1 && caption2);
    EXPECT_EQ(caption1->text(), "19200");
    EXPECT_EQ(caption1->pos(), QPoint(402, 70));
    EXPECT_EQ(caption2->text(), "9600");
    EXPECT_EQ(caption2->pos(), QPoint(402, 86));
    auto* comCaption = qobject_cast<QLabel*>(ControlLabelWidget(spanel, COM));
    ASSERT_NE(comCaption, nullptr);
    EXPECT_EQ(comCaption->text(), "COM");
    EXPECT_EQ(comCaption->pos(), QPoint(396, 4));
}

TEST_F(MainPanel, TimersArePreciseWithTheirIntervalsAndOffAtLoad)
{
    const std::pair<int, int> timers[] = {{ATIMER, 1000}, {DTIMER, 250}};
    for (auto [control, interval] : timers) {
        SCOPED_TRACE(control);
        QTimer* timer = ControlTimer(spanel, control);
        EXPECT_NE(timer, nullptr);
        if (!timer) continue;
        EXPECT_EQ(timer->interval(), interval);
        EXPECT_EQ(timer->timerType(), Qt::PreciseTimer);
        EXPECT_FALSE(timer->isActive()) << "no tick before start-up switches the timers";
    }
}

TEST_F(MainPanel, FontsAndStatusFitTheStatusBox)
{
    EXPECT_EQ(widget(FORMAT)->font().pixelSize(), 14);
    EXPECT_EQ(widget(COM)->font().pixelSize(), 14);
    EXPECT_EQ(widget(SHOW)->font().pixelSize(), 11);
    EXPECT_EQ(widget(TEXTMSG_2)->font().pixelSize(), 12);
    EXPECT_EQ(widget(FORMAT)->font().family(), "Tahoma");
    auto* status = qobject_cast<QLabel*>(widget(TEXT));
    EXPECT_EQ(status->font().family(), "DSEG14 Classic");
    EXPECT_EQ(status->font().pixelSize(), 33) << "condensed, not made smaller";
    SetCtrlVal(spanel, TEXT, "SIMULATING");
    QRect box = widget(DECORATION)->geometry();
    EXPECT_TRUE(box.contains(status->geometry())) << status->geometry().width();
    auto* frame = qobject_cast<QFrame*>(widget(DECORATION));
    EXPECT_EQ(frame->palette().color(QPalette::Window), QColor(189, 197, 188));
}

TEST_F(MainPanel, TheCloseControlUnderThePictureIsNoWidgetAndBaudCaptionBreaksTheFrame)
{
    auto* picture = qobject_cast<QLabel*>(widget(PICTURE));
    ASSERT_FALSE(picture->pixmap().isNull());
    EXPECT_EQ(picture->pixmap().size(), QSize(127, 139));
    QWidget* window = PanelWidget(spanel);
    EXPECT_EQ(widget(CLOSEBTN), nullptr) << "nothing to tab to or to read; its shortcut and the close box operate it";
    QWidget* caption = widget(TEXTMSG_3);
    EXPECT_EQ(window->childAt(caption->geometry().center()), caption);
    EXPECT_TRUE(caption->autoFillBackground());
    EXPECT_LT(caption->geometry().top(), widget(DECORATION_3)->geometry().top());
    EXPECT_GT(caption->geometry().bottom(), widget(DECORATION_3)->geometry().top());
}

TEST_F(MainPanel, TabGoesTopToBottomThroughControlsNamedByTheirCaptions)
{
    // What a screen reader says at each Tab, from the first focus on.
    std::vector<std::string> said;
    QWidget* at = PanelWidget(spanel)->focusWidget();
    for (int i = 0; at && i < 5; at = at->nextInFocusChain()) {
        if (!(at->focusPolicy() & Qt::TabFocus)) continue;
        said.push_back(QAccessible::queryAccessibleInterface(at)->text(QAccessible::Name).toStdString());
        ++i;
    }
    EXPECT_EQ(said, (std::vector<std::string>{"COM", "19200", "Show Parameter List", "9600", "Format"}));
}

TEST_F(MainPanel, EveryLoadGivesANewHiddenCopy)
{
    int second = LoadPanel(0, kUirFile, PANEL);
    ASSERT_GT(second, 0);
    EXPECT_NE(second, spanel);
    EXPECT_NE(PanelWidget(second), PanelWidget(spanel));
    EXPECT_EQ(DiscardPanel(second), UIE_NO_ERROR);
    EXPECT_EQ(PanelWidget(second), nullptr);
    EXPECT_LT(LoadPanel(0, kUirFile, 6), 0);
    EXPECT_LT(LoadPanel(0, "other.uir", PANEL), 0);
}

TEST_F(MainPanel, WindowsStartWhereDefinedOrJustInsideTheScreensAvailableArea)
{
    // The offscreen screen is 800 x 600: the main window (553 from the top)
    // and the Velmara+ list (795 from the left) do not fit where defined.
    const struct {
        int panel;
        QPoint defined;
    } table[] = {{PANEL, {64, 553}}, {BLENDPAN2, {795, 64}}, {DD16PANEL, {313, 226}}};
    for (const auto& row : table) {
        SCOPED_TRACE(row.panel);
        const int panel = row.panel == PANEL ? spanel : LoadPanel(0, kUirFile, row.panel);
        DisplayPanel(panel);
        QWidget* window = PanelWidget(panel);
        const QRect area = window->screen()->availableGeometry();
        const QRect frame = window->frameGeometry();
        EXPECT_TRUE(area.contains(frame)) << frame.x() << "," << frame.y();
        EXPECT_TRUE(frame.x() == row.defined.x() || frame.right() == area.right()) << "moved left just enough";
        EXPECT_TRUE(frame.y() == row.defined.y() || frame.bottom() == area.bottom()) << "moved up just enough";
        if (panel != spanel) DiscardPanel(panel);
    }
}

}  // namespace
