// Panel handles: loading copies of panel definitions, showing and discarding
// them. Their controls' values and attributes: controls.cpp.
#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QTimer>

#include <algorithm>
#include <array>
#include <vector>

#include "../runtime.h"
#include "inspect.h"
#include "panel_p.h"

namespace {

std::vector<const UirFile*>& uirFiles()
{
    static std::vector<const UirFile*> files;
    return files;
}

std::map<int, std::unique_ptr<LoadedPanel>>& panels()
{
    static std::map<int, std::unique_ptr<LoadedPanel>> loaded;
    return loaded;
}

int nextHandle = 1;

const UirFile* findUir(std::string_view name)
{
    for (const UirFile* file : uirFiles())
        if (file->name == name) return file;
    return nullptr;
}

QColor toColor(Rgb rgb) { return QColor(rgb.r, rgb.g, rgb.b); }

// The newest copy of the same panel that is on the screen, if any.
QWidget* lastCopyShown(const LoadedPanel& panel)
{
    for (auto it = panels().rbegin(); it != panels().rend(); ++it) {
        const LoadedPanel& other = *it->second;
        if (&other != &panel && other.def == panel.def && other.placed && other.window && other.window->isVisible())
            return other.window;
    }
    return nullptr;
}

}  // namespace

void PanelWindow::paintEvent(QPaintEvent* /*event*/)
{
    QPainter(this).fillRect(rect(), background_);
}

void PanelWindow::closeEvent(QCloseEvent* event)
{
    // The window never closes itself: the close box works like a click on the
    // panel's close control, whose callback decides.
    event->ignore();
    if (LoadedPanel* panel = FindPanel(handle_); panel && panel->def->closeControl)
        RaiseEvent(handle_, panel->def->closeControl, EVENT_COMMIT);
}

void PanelWindow::keyPressEvent(QKeyEvent* event)
{
    // Both work as the close box, through closeEvent. Alt+F4 is normally the
    // window manager's or Windows' own, but where nothing takes it first (X
    // with no window manager, some Wine set-ups) it only comes here. Should
    // the system send its close request as well, the panel is gone by then.
    const bool escape = event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier;
    const bool altF4 = event->key() == Qt::Key_F4 && event->modifiers() == Qt::AltModifier;
    LoadedPanel* panel = FindPanel(handle_);
    if ((escape || altF4) && panel && panel->def->keysClose) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

LoadedPanel* FindPanel(int handle)
{
    auto it = panels().find(handle);
    return it == panels().end() ? nullptr : it->second.get();
}

LoadedControl* FindControl(int panel, int control)
{
    LoadedPanel* p = FindPanel(panel);
    if (!p) return nullptr;
    auto it = p->controls.find(control);
    return it == p->controls.end() ? nullptr : &it->second;
}

void RaiseEvent(int panel, int control, int event)
{
    LoadedControl* c = FindControl(panel, control);
    if (!c || !c->callback) return;
    if (event != EVENT_TIMER_TICK) {
        c->callback(panel, control, event, nullptr, 0, 0);
        return;
    }
    HoldRepaints();
    c->callback(panel, control, event, nullptr, 0, 0);
    RequestHeldRepaints();
}

namespace {
// A fixed list: holding a request must not allocate either. A panel has one
// blinking text; a full list makes further requests at once.
std::array<TextMessage*, 8> heldTexts{};
std::size_t heldCount = 0;
bool holding = false;
}  // namespace

void HoldRepaints() { holding = true; }

void RequestHeldRepaints()
{
    holding = false;
    for (std::size_t i = 0; i < heldCount; ++i) {
        heldTexts[i]->held_ = false;
        heldTexts[i]->update();
    }
    heldCount = 0;
}

void TextMessage::setBlank(bool blank)
{
    if (blank == blank_) return;
    blank_ = blank;
    if (held_) return;
    if (holding && heldCount < heldTexts.size()) {
        held_ = true;
        heldTexts[heldCount++] = this;
    } else {
        update();
    }
}

TextMessage::~TextMessage()
{
    auto end = heldTexts.begin() + heldCount;
    heldCount = std::size_t(std::remove(heldTexts.begin(), end, this) - heldTexts.begin());
}

void RegisterUirFile(const UirFile& file)
{
    if (!findUir(file.name)) uirFiles().push_back(&file);
}

int LoadPanel(int /*parent*/, std::string_view uirFile, int panelNumber)
{
    const UirFile* file = findUir(uirFile);
    if (!file) return UIE_BAD_FILE;
    auto def = std::find_if(file->panels.begin(), file->panels.end(),
                            [&](const PanelDef& p) { return p.number == panelNumber; });
    if (def == file->panels.end()) return UIE_BAD_PANEL;

    auto panel = std::make_unique<LoadedPanel>();
    panel->handle = nextHandle++;
    panel->def = &*def;
    auto* window = new PanelWindow(panel->handle, toColor(def->background));
    panel->window = window;
    window->setAttribute(Qt::WA_DeleteOnClose, false);
    // The status's tooltip answers a glance from another window too: the
    // user is mostly in the station's software, not in this window.
    window->setAttribute(Qt::WA_AlwaysShowToolTips);
    window->setWindowTitle(QString::fromUtf8(def->title.data(), qsizetype(def->title.size())));
    window->setFixedSize(def->width, def->height);
    window->move(def->left, def->top);

    for (const ControlDef& cdef : def->controls) {
        LoadedControl& control = panel->controls[cdef.number];
        control.def = &cdef;
        control.callback = cdef.callback.empty() ? nullptr : file->resolveCallback(cdef.callback);
        // With the keyboard focus a close control under the logo would end
        // the program at a stray Space or Enter, and a screen reader would
        // offer it as a button to press.
        if (cdef.number == def->closeControl && cdef.kind == CtrlKind::CommandButton &&
            HiddenUnderLaterControl(*def, cdef))
            OperateByShortcutAlone(panel->handle, control, window);
        else
            BuildControl(panel->handle, *def, control, window);
    }
    // Later widgets are drawn over earlier ones.
    for (int number : def->drawOrder) {
        LoadedControl& control = panel->controls[number];
        if (control.widget) control.widget->raise();
        if (control.label) control.label->raise();
    }
    PrepareForKeyboardAndReaders(*panel);
    int handle = panel->handle;
    panels().emplace(handle, std::move(panel));
    ApplyTaskbarText();
    return handle;
}

int DisplayPanel(int panel)
{
    LoadedPanel* p = FindPanel(panel);
    if (!p) return UIE_BAD_PANEL;
    if (!p->placed) {
        if (QWidget* last = lastCopyShown(*p)) CascadeFrom(p->window, last);
        FitOnScreen(p->window);
    }
    p->placed = true;
    p->window->show();
    // Off-screen there is no stacking to change (and Qt says so on every call).
    if (QGuiApplication::platformName() != QLatin1String("offscreen")) p->window->raise();
    return UIE_NO_ERROR;
}

int DiscardPanel(int panel)
{
    auto it = panels().find(panel);
    if (it == panels().end()) return UIE_BAD_PANEL;
    std::unique_ptr<LoadedPanel> p = std::move(it->second);
    panels().erase(it);
    for (auto& [number, control] : p->controls)
        if (control.timer) control.timer->stop();
    // The callback that discards a panel may run inside one of its widgets'
    // signals: the widgets go when control returns to the event loop.
    if (p->window) {
        p->window->hide();
        p->window->deleteLater();
    }
    ApplyTaskbarText();
    return UIE_NO_ERROR;
}

void RestartRunningTimers()
{
    for (auto& [handle, panel] : panels())
        for (auto& [number, control] : panel->controls)
            if (control.timer && control.timer->isActive()) control.timer->start();
}

QWidget* PanelWidget(int panel)
{
    LoadedPanel* p = FindPanel(panel);
    return p ? p->window.data() : nullptr;
}

QWidget* ControlWidget(int panel, int control)
{
    LoadedControl* c = FindControl(panel, control);
    return c ? c->widget : nullptr;
}

QWidget* ControlLabelWidget(int panel, int control)
{
    LoadedControl* c = FindControl(panel, control);
    return c ? c->label : nullptr;
}

QTimer* ControlTimer(int panel, int control)
{
    LoadedControl* c = FindControl(panel, control);
    return c ? c->timer : nullptr;
}

int LoadedPanelCount() { return int(panels().size()); }

int OldestPanel()
{
    return panels().empty() ? 0 : panels().begin()->first;
}
