// Panel handles: loading copies of panel definitions, showing and discarding
// them, reading and setting control values and attributes.
#include <QCheckBox>
#include <QGuiApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QLabel>
#include <QListWidget>
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

// The close control works by its shortcut and the close box only: with the
// keyboard focus, a stray Space or Enter would end the program. The focus
// starts on the first control in the panel's order that takes it.
void settleFocus(LoadedPanel& panel)
{
    if (LoadedControl* close = panel.def->closeControl ? &panel.controls[panel.def->closeControl] : nullptr;
        close && close->widget)
        close->widget->setFocusPolicy(Qt::NoFocus);
    for (const ControlDef& cdef : panel.def->controls) {
        QWidget* widget = panel.controls[cdef.number].widget;
        if (widget && (widget->focusPolicy() & Qt::TabFocus)) {
            widget->setFocus(Qt::OtherFocusReason);
            return;
        }
    }
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
        BuildControl(panel->handle, *def, control, window);
    }
    // Later widgets are drawn over earlier ones.
    for (int number : def->drawOrder) {
        LoadedControl& control = panel->controls[number];
        if (control.widget) control.widget->raise();
        if (control.label) control.label->raise();
    }
    settleFocus(*panel);
    int handle = panel->handle;
    panels().emplace(handle, std::move(panel));
    ApplyTaskbarText();
    return handle;
}

int DisplayPanel(int panel)
{
    LoadedPanel* p = FindPanel(panel);
    if (!p) return UIE_BAD_PANEL;
    if (!p->placed) FitOnScreen(p->window);
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

int GetCtrlVal(int panel, int control, int& value)
{
    LoadedControl* c = FindControl(panel, control);
    if (!c) return FindPanel(panel) ? UIE_BAD_CONTROL : UIE_BAD_PANEL;
    if (auto* ring = qobject_cast<QComboBox*>(c->widget)) {
        value = ring->currentData().toInt();
    } else if (auto* toggle = qobject_cast<QCheckBox*>(c->widget)) {
        value = toggle->isChecked() ? 1 : 0;
    } else if (auto* list = qobject_cast<QListWidget*>(c->widget)) {
        QListWidgetItem* item = list->currentItem();
        value = item ? item->data(Qt::UserRole).toInt() : 0;
    } else {
        return UIE_BAD_CONTROL;
    }
    return UIE_NO_ERROR;
}

int GetCtrlVal(int panel, int control, std::string& text)
{
    LoadedControl* c = FindControl(panel, control);
    if (!c) return FindPanel(panel) ? UIE_BAD_CONTROL : UIE_BAD_PANEL;
    if (auto* label = qobject_cast<QLabel*>(c->widget)) {
        text = label->text().toStdString();
        return UIE_NO_ERROR;
    }
    return UIE_BAD_CONTROL;
}

// Values set by the program raise no event: the widgets' signals are blocked.
int SetCtrlVal(int panel, int control, int value)
{
    LoadedControl* c = FindControl(panel, control);
    if (!c) return FindPanel(panel) ? UIE_BAD_CONTROL : UIE_BAD_PANEL;
    QSignalBlocker block(c->widget);
    if (auto* ring = qobject_cast<QComboBox*>(c->widget)) {
        int index = ring->findData(value);
        if (index < 0) return UIE_BAD_ATTRIBUTE;
        ring->setCurrentIndex(index);
    } else if (auto* toggle = qobject_cast<QCheckBox*>(c->widget)) {
        toggle->setChecked(value != 0);
    } else if (auto* list = qobject_cast<QListWidget*>(c->widget)) {
        for (int row = 0; row < list->count(); ++row)
            if (list->item(row)->data(Qt::UserRole).toInt() == value) list->setCurrentRow(row);
    } else {
        return UIE_BAD_CONTROL;
    }
    return UIE_NO_ERROR;
}

int SetCtrlVal(int panel, int control, std::string_view text)
{
    LoadedControl* c = FindControl(panel, control);
    if (!c) return FindPanel(panel) ? UIE_BAD_CONTROL : UIE_BAD_PANEL;
    auto* label = qobject_cast<QLabel*>(c->widget);
    if (!label) return UIE_BAD_CONTROL;
    // The status is set again on every tick, mostly to what it shows already:
    // compared as it is, the text needs no copy made.
    const QUtf8StringView utf8(text.data(), qsizetype(text.size()));
    if (QAnyStringView::equal(label->text(), utf8)) return UIE_NO_ERROR;
    label->setText(utf8.toString());
    FitTextWidth(*c);
    return UIE_NO_ERROR;
}

int SetCtrlAttribute(int panel, int control, int attribute, int value)
{
    LoadedControl* c = FindControl(panel, control);
    if (!c) return FindPanel(panel) ? UIE_BAD_CONTROL : UIE_BAD_PANEL;
    if (attribute == ATTR_ENABLED && c->timer) {
        // Switching on a running timer keeps its schedule.
        if (!value) c->timer->stop();
        else if (!c->timer->isActive()) c->timer->start();
    } else if (auto* text = dynamic_cast<TextMessage*>(c->widget); attribute == ATTR_VISIBLE && text) {
        text->setBlank(value == 0);
    } else if (attribute == ATTR_VISIBLE && c->widget) {
        c->widget->setVisible(value != 0);
        if (c->label) c->label->setVisible(value != 0);
    } else {
        return UIE_BAD_ATTRIBUTE;
    }
    return UIE_NO_ERROR;
}

int GetCtrlAttribute(int panel, int control, int attribute, int& value)
{
    LoadedControl* c = FindControl(panel, control);
    if (!c) return FindPanel(panel) ? UIE_BAD_CONTROL : UIE_BAD_PANEL;
    if (attribute == ATTR_ENABLED && c->timer) {
        value = c->timer->isActive() ? 1 : 0;
    } else if (attribute == ATTR_INTERVAL_MS && c->timer) {
        value = c->timer->interval();
    } else if (attribute == ATTR_VISIBLE && c->widget) {
        auto* text = dynamic_cast<TextMessage*>(c->widget);
        value = c->widget->isHidden() || (text && text->blank()) ? 0 : 1;
    } else if (attribute == ATTR_NUM_ITEMS && qobject_cast<QComboBox*>(c->widget)) {
        value = qobject_cast<QComboBox*>(c->widget)->count();
    } else if (attribute == ATTR_NUM_ITEMS && qobject_cast<QListWidget*>(c->widget)) {
        value = qobject_cast<QListWidget*>(c->widget)->count();
    } else {
        return UIE_BAD_ATTRIBUTE;
    }
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
