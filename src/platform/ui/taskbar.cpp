#include "taskbar.h"

#include <QWidget>

// X11 taskbars show a window's icon name.
void ShowTaskbarText(QWidget* window, const QString& text) { window->setWindowIconText(text); }
