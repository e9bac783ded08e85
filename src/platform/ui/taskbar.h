// Where the desktop shows a task's own text, chosen by the build: the window
// keeps its title.
#pragma once

class QString;
class QWidget;

// Shows text ("Idle", "Simulating") as the window's task's own text.
void ShowTaskbarText(QWidget* window, const QString& text);
