// The taskbar text (ATTR_TASKBAR_BUTTON_TEXT), shown for the program's main
// window, its oldest panel.
#include <QWidget>

#include "../runtime.h"
#include "inspect.h"
#include "panel_p.h"
#include "taskbar.h"

namespace {

QString taskbarText;

}  // namespace

void ApplyTaskbarText()
{
    QWidget* main = PanelWidget(OldestPanel());
    if (!main) return;
    main->setWindowIconText(taskbarText);
#ifdef _WIN32
    ShowTaskbarOverlay(main, taskbarText);
#endif
}

int SetSystemAttribute(int attribute, std::string_view text)
{
    if (attribute != ATTR_TASKBAR_BUTTON_TEXT) return UIE_BAD_ATTRIBUTE;
    // Set again on every tick of a stream: the same text changes nothing and copies nothing.
    const QUtf8StringView utf8(text.data(), qsizetype(text.size()));
    if (QAnyStringView::equal(taskbarText, utf8)) return UIE_NO_ERROR;
    taskbarText = utf8.toString();
    ApplyTaskbarText();
    return UIE_NO_ERROR;
}

int GetSystemAttribute(int attribute, std::string& text)
{
    if (attribute != ATTR_TASKBAR_BUTTON_TEXT) return UIE_BAD_ATTRIBUTE;
    text = taskbarText.toStdString();
    return UIE_NO_ERROR;
}
