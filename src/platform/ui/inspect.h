// Access to the widgets behind panel and control handles, for tests and for
// the platform's own files. Returns nullptr for an unknown handle or number.
#pragma once

class QWidget;
class QTimer;

QWidget* PanelWidget(int panel);
QWidget* ControlWidget(int panel, int control);
QWidget* ControlLabelWidget(int panel, int control);
QTimer* ControlTimer(int panel, int control);
// The handles of every panel currently loaded, oldest first.
int LoadedPanelCount();
