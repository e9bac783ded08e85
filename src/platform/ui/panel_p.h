// Loaded panels as the platform keeps them.
#pragma once

#include <QLabel>
#include <QPointer>
#include <QWidget>

#include <map>
#include <memory>
#include <string>

#include "paneldef.h"

class QLabel;
class QTimer;

struct LoadedControl {
    const ControlDef* def = nullptr;
    QWidget* widget = nullptr;  // nullptr for timers
    QLabel* label = nullptr;
    QTimer* timer = nullptr;
    CtrlCallback callback = nullptr;
};

struct LoadedPanel {
    int handle = 0;
    const PanelDef* def = nullptr;
    QPointer<QWidget> window;
    bool placed = false;  // fitted on the screen at its first show
    std::map<int, LoadedControl> controls;
};

// The panel's top-level window: its close box operates the panel's close control.
// It paints its own colour and keeps the program's palette: a palette of its
// own would give it and each of its widgets a palette Qt has not seen before,
// and Qt's style keeps what it draws per palette (300 list windows opened and
// closed grew the heap by megabytes under X11).
class PanelWindow : public QWidget {
public:
    PanelWindow(int handle, QColor background) : handle_(handle), background_(background) {}

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    int handle_;
    QColor background_;
};

// A text message. Hidden and shown again on every blink step, it keeps its
// place and only stops drawing its text: a real hide and show costs Qt five
// heap allocations each time, and the program promises none while streaming.
// Even a repaint request allocates (a region and a posted event), so one asked
// for during a timer tick is held until the tick has done its work.
// Its tooltip, when it has one, is composed by the program only when the
// tooltip is about to show: nothing is spent on it while nobody looks.
class TextMessage : public QLabel {
public:
    TextMessage(const QString& text, QWidget* parent, std::string (*tip)())
        : QLabel(text, parent), tip_(tip) {}
    ~TextMessage() override;
    bool blank() const { return blank_; }
    void setBlank(bool blank);

protected:
    void paintEvent(QPaintEvent* event) override
    {
        if (!blank_) QLabel::paintEvent(event);
    }
    bool event(QEvent* event) override;

private:
    friend void RequestHeldRepaints();
    std::string (*tip_)() = nullptr;
    bool blank_ = false;
    bool held_ = false;
};

// Between these two, text messages hold their repaint requests; the second
// makes them. Anything that waits for the user (a box) makes them first.
void HoldRepaints();
void RequestHeldRepaints();

LoadedPanel* FindPanel(int handle);
LoadedControl* FindControl(int panel, int control);
void RaiseEvent(int panel, int control, int event);

// Builds the widgets (or timer) of one control inside window.
void BuildControl(int panelHandle, const PanelDef& panel, LoadedControl& control, QWidget* window);
// Fits a text message's width to its text (when its width follows the text).
void FitTextWidth(LoadedControl& control);

// Keyboard and screen readers (access.cpp). Rings are named by their captions
// (installed once, at start); a panel's controls named and put in Tab order,
// the focus on the first, once built.
void InstallAccessibleRings();
void PrepareForKeyboardAndReaders(LoadedPanel& panel);
// Whether the panel draws another control wholly over this one.
bool HiddenUnderLaterControl(const PanelDef& panel, const ControlDef& control);
// A command button that is hidden under another control gets no widget (none
// to read, to tab to or to click): its shortcut raises its commit instead.
void OperateByShortcutAlone(int handle, LoadedControl& control, QWidget* window);

// Moves a window not yet shown up or left just enough for it to lie within
// its screen's available area; one larger than the area is made smaller by
// as much as its lists can give.
void FitOnScreen(QWidget* window);
// Places a window not yet shown a step right and down from last, a copy of
// the same panel already on the screen.
void CascadeFrom(QWidget* window, QWidget* last);

// The handle of the oldest panel still loaded (the program's main window), or 0.
int OldestPanel();

// Applies the taskbar text to the program's main window (its oldest panel).
void ApplyTaskbarText();
// Restarts every running timer so its first tick is one interval after now.
void RestartRunningTimers();
