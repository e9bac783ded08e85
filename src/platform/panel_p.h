// Loaded panels as the platform keeps them.
#pragma once

#include <QPointer>
#include <QWidget>

#include <map>
#include <memory>

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
    std::map<int, LoadedControl> controls;
};

// The panel's top-level window: its close box operates the panel's close control.
class PanelWindow : public QWidget {
public:
    explicit PanelWindow(int handle) : handle_(handle) {}

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    int handle_;
};

LoadedPanel* FindPanel(int handle);
LoadedControl* FindControl(int panel, int control);
void RaiseEvent(int panel, int control, int event);

// Builds the widgets (or timer) of one control inside window.
void BuildControl(int panelHandle, const PanelDef& panel, LoadedControl& control, QWidget* window);
// Fits a text message's width to its text (when its width follows the text).
void FitTextWidth(LoadedControl& control);

// Applies the taskbar text to the program's main window (its oldest panel).
void ApplyTaskbarText();
// Restarts every running timer so its first tick is one interval after now.
void RestartRunningTimers();
