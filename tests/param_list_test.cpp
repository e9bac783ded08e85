// "Show Parameter List": a new list window per press for the text devices,
// a message box for the engine streams; each window closes by itself only.
#include <QApplication>
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>

#include <set>

#include "platform/ui/inspect.h"
#include "platform/runtime.h"
#include "support.h"
#include "ui/paramlists.h"
#include "ui/quorvex.h"

namespace {

struct ListWindow {
    int format;
    const char* title;
    int height;
    std::vector<std::pair<std::string, int>> firstItems;
    int count;
    std::string last;
};

const ListWindow kLists[] = {
    {0, "Velmara Blender Parameters", 430,
     {{"1. Timestamp", 0}, {"2. Slurry Rate", 1}, {"3. Slurry Total", 2}, {"4. Clean Rate", 3}},
     51, "51. Chemical 6 Concentration"},
    {6, "Velmara+ Blender Parameters", 430,
     {{"1. Timestamp", 0}, {"2. Slurry Rate", 1}, {"3. Slurry Total", 2}, {"4. Discharge Pressure", 3}},
     51, "51. Calculated Clean Rate"},
    {3, "IPC Parameters", 430,
     {{"1. Timestamp", 0}, {"2. Engine RPM", 1}, {"3. Engine Coolant Temperature", 2}, {"4. Pump Discharge Rate", 3}},
     29, "29. Transmission Type"},
    {5, "DD16 Parameters", 275,
     {{"1. Timestamp", 99}, {"2. Channel 1", 0}, {"3. Channel 2", 1}, {"4. Channel 3", 2}},
     17, "17. Channel 16"},
};

// The windows the program has open besides the main one.
std::vector<QWidget*> listWindows()
{
    std::vector<QWidget*> windows;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible() && w != PanelWidget(spanel) && w->windowTitle().endsWith("Parameters"))
            windows.push_back(w);
    return windows;
}

void pressShow() { QTest::mouseClick(ControlWidget(spanel, SHOW), Qt::LeftButton); }

void closeLists()
{
    for (QWidget* w : listWindows()) w->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

class ParameterLists : public MainPanelTest {
protected:
    void TearDown() override
    {
        closeLists();
        MainPanelTest::TearDown();
    }
};

// The one list window open, as `expected` says, closed by its button.
void expectListWindow(const ListWindow& expected)
{
    auto windows = listWindows();
    ASSERT_EQ(windows.size(), 1u);
    QWidget* window = windows[0];
    EXPECT_EQ(window->windowTitle().toStdString(), expected.title);
    EXPECT_EQ(window->size(), QSize(209, expected.height));
    EXPECT_EQ(window->grab().toImage().pixelColor(1, 1), QColor(212, 208, 200));
    auto* close = window->findChild<QPushButton*>();
    ASSERT_NE(close, nullptr);
    EXPECT_EQ(close->text(), "Close Window");
    EXPECT_EQ(close->geometry(), QRect(108, 4, 97, 26));
    auto* list = window->findChild<QListWidget*>();
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(window->focusWidget(), list) << "the focus starts on the list, not on Close Window";
    // The place is the rows', with the frame around them; the short lists
    // show every row, and no item of any list is cut.
    const QRect rows(list->mapTo(window, list->contentsRect().topLeft()), list->contentsRect().size());
    EXPECT_EQ(rows, QRect(7, 35, 196, expected.height == 275 ? 221 : 377));
    QCoreApplication::processEvents();
    EXPECT_EQ(list->verticalScrollBar()->maximum() > 0, expected.count == 51) << "scrolls only with 51 items";
    EXPECT_EQ(list->horizontalScrollBar()->maximum(), 0) << "every item fits the width";
    ASSERT_EQ(list->count(), expected.count);
    EXPECT_EQ(list->currentRow(), 0);
    for (std::size_t i = 0; i < expected.firstItems.size(); ++i) {
        EXPECT_EQ(list->item(int(i))->text().toStdString(), expected.firstItems[i].first);
        EXPECT_EQ(list->item(int(i))->data(Qt::UserRole).toInt(), expected.firstItems[i].second);
    }
    EXPECT_EQ(list->item(list->count() - 1)->text().toStdString(), expected.last);
    if (expected.format == 0) {
        // Two names stand twice; their numbers keep them apart.
        EXPECT_EQ(list->item(41)->text(), "42. Clean Rate");
        EXPECT_EQ(list->item(42)->text(), "43. Clean Total");
    }
    for (int row = 1; row < list->count(); ++row) {
        QString text = list->item(row)->text();
        EXPECT_TRUE(text.startsWith(QString::number(row + 1) + ". ")) << text.toStdString();
        const int value = expected.format == 5 ? row - 1 : row;
        EXPECT_EQ(list->item(row)->data(Qt::UserRole).toInt(), value);
    }
    QTest::mouseClick(close, Qt::LeftButton);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(listWindows().empty());
}

TEST_F(ParameterLists, EachTextDeviceShowsItsFieldsInItsOwnWindow)
{
    for (const ListWindow& expected : kLists) {
        SCOPED_TRACE(expected.title);
        SetCtrlVal(spanel, FORMAT, expected.format);
        pressShow();
        expectListWindow(expected);
        closeLists();  // what a row that failed left open
    }
}

TEST_F(ParameterLists, EveryPressOpensAnotherWindowAndEachClosesAlone)
{
    pressShow();
    pressShow();
    auto windows = listWindows();
    ASSERT_EQ(windows.size(), 2u);
    EXPECT_EQ(windows[0]->windowTitle(), windows[1]->windowTitle());
    const std::set<std::pair<int, int>> places = {{windows[0]->x(), windows[0]->y()}, {windows[1]->x(), windows[1]->y()}};
    EXPECT_EQ(places, (std::set<std::pair<int, int>>{{48, 77}, {72, 101}})) << "the second a step right and down";
    QTest::mouseClick(windows[0]->findChild<QPushButton*>(), Qt::LeftButton);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    auto left = listWindows();
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(left[0], windows[1]);
    left[0]->close();  // the window's own close box
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(listWindows().empty());
    EXPECT_TRUE(PanelWidget(spanel) != nullptr) << "the main panel stays";
}

TEST_F(ParameterLists, OpenListsStayAsTheyAreWhenTheFormatChanges)
{
    pressShow();
    SetCtrlVal(spanel, FORMAT, 5);
    pressShow();
    auto windows = listWindows();
    ASSERT_EQ(windows.size(), 2u);
    std::set<std::string> titles;
    for (QWidget* w : windows) titles.insert(w->windowTitle().toStdString());
    EXPECT_EQ(titles, (std::set<std::string>{"Velmara Blender Parameters", "DD16 Parameters"}));
}

TEST_F(ParameterLists, EngineStreamsShowABoxAndNoWindow)
{
    const std::pair<int, BoxSeen> table[] = {
        {1, {"J1587 Data", "Please refer to SAE \"Surface Vehicle Recommended Practice\" J1587"}},
        {2, {"J1939 Data", "Please refer to SAE \"Surface Vehicle Recommended Practice\" J1939"}},
    };
    for (const auto& [format, box] : table) {
        SCOPED_TRACE(format);
        SetCtrlVal(spanel, FORMAT, format);
        auto boxes = withBoxes(pressShow);
        EXPECT_EQ(boxes.size(), 1u);
        for (const BoxSeen& seen : boxes) {
            EXPECT_EQ(seen.title, box.title);
            EXPECT_EQ(seen.text, box.text);
        }
        EXPECT_TRUE(listWindows().empty());
    }
}

TEST_F(ParameterLists, OnlyCommitActs)
{
    ShowPanel(spanel, SHOW, EVENT_VAL_CHANGED, nullptr, 0, 0);
    EXPECT_TRUE(listWindows().empty());
    pressShow();
    int list = LoadedPanelCount();
    HideThisPanel(spanel, HIDE, EVENT_VAL_CHANGED, nullptr, 0, 0);
    EXPECT_EQ(LoadedPanelCount(), list);
}

}  // namespace
