// The taskbar text: where the desktop shows a task's own text, the window
// keeping its title. Every desktop gets it as the window's icon name, which
// X11 taskbars show; Windows shows the title instead, and gets it as an
// overlay on the task's button as well (taskbar_windows.cpp).
#pragma once

class QString;
class QWidget;

#ifdef _WIN32
// Shows text ("Idle", "Simulating") on the window's taskbar button.
void ShowTaskbarOverlay(QWidget* window, const QString& text);
#endif
