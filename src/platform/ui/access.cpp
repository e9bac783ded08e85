// A panel for the keyboard and for screen readers: every control named by its
// caption, Tab through the controls as they stand on the panel (top to bottom,
// then left to right), and a close control that the panel draws under another
// control kept out of both: it only operates by its shortcut and the close box.
#include <QAbstractItemView>
#include <QAccessible>
#include <QAccessibleWidget>
#include <QComboBox>
#include <QLabel>
#include <QShortcut>

#include <algorithm>
#include <vector>

#include "../runtime.h"
#include "panel_p.h"

namespace {

QString qs(std::string_view text) { return QString::fromUtf8(text.data(), qsizetype(text.size())); }

QRect placeOf(const ControlDef& def)
{
    return {def.place.left, def.place.top, def.place.width, def.place.height};
}

// A ring as a screen reader meets it: named by its caption, its item the
// value and, for readers that take no value from a ring (AT-SPI has none for
// it), the description. Qt's own names a ring by its item on Linux and leaves
// the caption to a relation, so "COM" read as "1".
class RingAccessible final : public QAccessibleWidget {
public:
    explicit RingAccessible(QComboBox* ring) : QAccessibleWidget(ring, QAccessible::ComboBox) {}

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Value || t == QAccessible::Description) return ring()->currentText();
        if (t == QAccessible::Name)
            return ring()->accessibleName().isEmpty() ? ring()->currentText() : ring()->accessibleName();
        return QAccessibleWidget::text(t);
    }
    // The open list, as Qt's own ring has it.
    int childCount() const override { return 1; }
    QAccessibleInterface* child(int index) const override
    {
        return index == 0 ? QAccessible::queryAccessibleInterface(ring()->view()) : nullptr;
    }
    int indexOfChild(const QAccessibleInterface* child) const override
    {
        return child && child->object() == ring()->view() ? 0 : -1;
    }
    QStringList actionNames() const override { return {showMenuAction(), pressAction()}; }
    void doAction(const QString& name) override
    {
        if (name == showMenuAction() || name == pressAction()) ring()->showPopup();
    }

private:
    QComboBox* ring() const { return static_cast<QComboBox*>(object()); }
};

QAccessibleInterface* ringFactory(const QString&, QObject* object)
{
    auto* ring = qobject_cast<QComboBox*>(object);
    return ring && !ring->isEditable() ? new RingAccessible(ring) : nullptr;
}

// The text message named as a control's caption, if any.
QLabel* captionMessage(const LoadedPanel& panel, const LoadedControl& control)
{
    const int caption = control.def->caption;
    const auto it = panel.controls.find(caption);
    return caption && it != panel.controls.end() ? qobject_cast<QLabel*>(it->second.widget) : nullptr;
}

// The text that captions a control: its own label, the text message named
// as its caption, or, for a list, the window's title.
QString captionOf(const LoadedPanel& panel, const LoadedControl& control)
{
    if (control.label) return control.label->text().trimmed();
    if (QLabel* message = captionMessage(panel, control)) return message->text().trimmed();
    if (control.def->kind == CtrlKind::ListBox) return qs(panel.def->title);
    return {};
}

void nameByCaptions(LoadedPanel& panel)
{
    for (auto& [number, control] : panel.controls) {
        if (!control.widget) continue;
        const QString caption = captionOf(panel, control);
        if (caption.isEmpty()) continue;
        control.widget->setAccessibleName(caption);
        if (QLabel* label = control.label ? control.label : captionMessage(panel, control)) label->setBuddy(control.widget);
    }
}

// Tab goes through the controls that take the focus by their places on the
// panel. The focus starts on the first but the close control (a list
// window's "Close Window"), which a stray Space would press.
void orderTabs(LoadedPanel& panel)
{
    std::vector<const LoadedControl*> order;
    for (const auto& [number, control] : panel.controls)
        if (control.widget && (control.widget->focusPolicy() & Qt::TabFocus)) order.push_back(&control);
    std::stable_sort(order.begin(), order.end(), [](const LoadedControl* a, const LoadedControl* b) {
        const Place& p = a->def->place;
        const Place& q = b->def->place;
        return p.top != q.top ? p.top < q.top : p.left < q.left;
    });
    for (std::size_t i = 1; i < order.size(); ++i) QWidget::setTabOrder(order[i - 1]->widget, order[i]->widget);
    const auto first = std::find_if(order.begin(), order.end(), [&](const LoadedControl* control) {
        return control->def->number != panel.def->closeControl;
    });
    if (first != order.end()) (*first)->widget->setFocus(Qt::OtherFocusReason);
}

}  // namespace

void InstallAccessibleRings() { QAccessible::installFactory(ringFactory); }

bool HiddenUnderLaterControl(const PanelDef& panel, const ControlDef& control)
{
    std::vector<int> order(panel.drawOrder.begin(), panel.drawOrder.end());
    if (order.empty())
        for (const ControlDef& def : panel.controls) order.push_back(def.number);
    const auto self = std::find(order.begin(), order.end(), control.number);
    if (self == order.end()) return false;
    for (auto later = self + 1; later != order.end(); ++later)
        for (const ControlDef& def : panel.controls)
            if (def.number == *later && def.place.width > 0 && def.place.height > 0 &&
                placeOf(def).contains(placeOf(control)))
                return true;
    return false;
}

void OperateByShortcutAlone(int handle, LoadedControl& control, QWidget* window)
{
    // "__Close": Alt+C, as the button's own mnemonic would be.
    QString text = qs(control.def->text);
    text.replace(QLatin1String("__"), QLatin1String("&"));
    const QKeySequence keys = QKeySequence::mnemonic(text);
    if (keys.isEmpty()) return;
    auto* shortcut = new QShortcut(keys, window);
    const int number = control.def->number;
    QObject::connect(shortcut, &QShortcut::activated, window, [handle, number] { RaiseEvent(handle, number, EVENT_COMMIT); });
}

void PrepareForKeyboardAndReaders(LoadedPanel& panel)
{
    nameByCaptions(panel);
    orderTabs(panel);
}
