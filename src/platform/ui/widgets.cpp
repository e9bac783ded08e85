// Turns one control definition into its widget: the generic half of loading a
// panel. Knows kinds of controls, not what they are for.
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QListWidget>
#include <QMouseEvent>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QToolTip>

#include <algorithm>

#include "../runtime.h"
#include "panel_p.h"

namespace {

QString qs(std::string_view text) { return QString::fromUtf8(text.data(), qsizetype(text.size())); }

QFont makeFont(const FontDef& def)
{
    QFont font;
    if (!def.family.empty()) font.setFamily(qs(def.family));
    font.setPixelSize(def.pixelSize);
    return font;
}

// "__Close" shows "Close" with its C underlined as the shortcut key.
QString buttonText(std::string_view text)
{
    QString s = qs(text);
    s.replace(QLatin1String("&"), QLatin1String("&&"));
    s.replace(QLatin1String("__"), QLatin1String("&"));
    return s;
}

// A caption that operates its control when clicked, as a toggle's text does.
class CaptionLabel : public QLabel {
public:
    CaptionLabel(const QString& text, QWidget* parent, QAbstractButton* buddy)
        : QLabel(text, parent), buddy_(buddy) {}

protected:
    void mouseReleaseEvent(QMouseEvent* event) override
    {
        if (buddy_ && rect().contains(event->position().toPoint())) buddy_->click();
    }

private:
    QAbstractButton* buddy_;
};

QLabel* makeLabel(const LabelDef& def, QWidget* window, QAbstractButton* buddy)
{
    if (def.text.empty()) return nullptr;
    QLabel* label = buddy ? new CaptionLabel(qs(def.text), window, buddy) : new QLabel(qs(def.text), window);
    label->setFont(makeFont(def.font));
    label->move(def.left, def.top);
    label->adjustSize();
    return label;
}

QFrame* makeDecoration(const ControlDef& def, QWidget* window)
{
    auto* frame = new QFrame(window);
    switch (def.look) {
    case DecoLook::RecessedBox: frame->setFrameStyle(QFrame::Panel | QFrame::Sunken); break;
    case DecoLook::RecessedFrame: frame->setFrameStyle(QFrame::Box | QFrame::Sunken); break;
    case DecoLook::None: break;
    }
    frame->setLineWidth(def.look == DecoLook::RecessedBox ? 2 : 1);
    if (def.hasFill) {
        QPalette palette = frame->palette();
        palette.setColor(QPalette::Window, QColor(def.fill.r, def.fill.g, def.fill.b));
        frame->setPalette(palette);
        frame->setAutoFillBackground(true);
    }
    frame->setAttribute(Qt::WA_TransparentForMouseEvents);
    return frame;
}

// The defined font, condensed until the widest text fits: the glyphs keep
// their height and only narrow, as a face drawn narrower would (the free
// segment face is wider than the one the panel was drawn in). Where the
// face has no condensed cut, the system's font engine narrows it.
QFont fittedFont(const ControlDef& def)
{
    QFont font = makeFont(def.font);
    if (def.widestText.empty() || def.maxWidth <= 0) return font;
    const QString widest = qs(def.widestText);
    font.setStretch(QFont::Unstretched);
    const int natural = QFontMetrics(font).horizontalAdvance(widest);
    if (natural <= def.maxWidth) return font;
    // From the proportion down, a step at a time: advances round per glyph.
    for (int stretch = std::max(1, 100 * def.maxWidth / natural); stretch >= 1; --stretch) {
        font.setStretch(stretch);
        if (QFontMetrics(font).horizontalAdvance(widest) <= def.maxWidth) break;
    }
    return font;
}

QLabel* makeTextMessage(const ControlDef& def, const PanelDef& panel, QWidget* window)
{
    auto* label = new TextMessage(qs(def.text), window, def.tip);
    label->setFont(fittedFont(def));
    label->setTextFormat(Qt::PlainText);
    if (def.opaque) {
        QPalette palette = label->palette();
        palette.setColor(QPalette::Window,
                         QColor(panel.background.r, panel.background.g, panel.background.b));
        label->setPalette(palette);
        label->setAutoFillBackground(true);
    }
    return label;
}

// A ring whose items' tooltips are asked for each time its list opens.
class TipRing : public QComboBox {
public:
    TipRing(std::string (*itemTip)(int), QWidget* parent) : QComboBox(parent), itemTip_(itemTip) {}

    void showPopup() override
    {
        if (itemTip_)
            for (int i = 0; i < count(); ++i)
                setItemData(i, QString::fromStdString(itemTip_(itemData(i).toInt())), Qt::ToolTipRole);
        QComboBox::showPopup();
    }

private:
    std::string (*itemTip_)(int);
};

QComboBox* makeRing(int handle, const ControlDef& def, QWidget* window)
{
    auto* ring = new TipRing(def.itemTip, window);
    for (const ItemDef& item : def.items) ring->addItem(qs(item.label), item.value);
    ring->setCurrentIndex(std::max(0, ring->findData(def.value)));
    int number = def.number;
    // activated: the user picked an item (also the one already shown).
    QObject::connect(ring, &QComboBox::activated, ring,
                     [handle, number](int) { RaiseEvent(handle, number, EVENT_COMMIT); });
    return ring;
}

// Rows of a set height, as wide as the style makes them: an item too wide for
// the list still shows as such (a horizontal scroll bar), never silently cut.
class RowDelegate : public QStyledItemDelegate {
public:
    RowDelegate(int height, QObject* parent) : QStyledItemDelegate(parent), height_(height) {}
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        size.setHeight(height_);
        return size;
    }

private:
    int height_;
};

QListWidget* makeListBox(const ControlDef& def, QWidget* window)
{
    auto* list = new QListWidget(window);
    if (def.rowHeight > 0) {
        list->setItemDelegate(new RowDelegate(def.rowHeight, list));
        list->setUniformItemSizes(true);
    }
    for (const ItemDef& item : def.items) {
        auto* row = new QListWidgetItem(qs(item.label), list);
        row->setData(Qt::UserRole, item.value);
    }
    list->setCurrentRow(0);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    return list;
}

QCheckBox* makeToggle(int handle, const ControlDef& def, QWidget* window)
{
    auto* toggle = new QCheckBox(window);
    toggle->setChecked(def.value != 0);
    int number = def.number;
    // clicked is emitted for the user's clicks only, whichever way they flip it.
    QObject::connect(toggle, &QCheckBox::clicked, toggle,
                     [handle, number](bool) { RaiseEvent(handle, number, EVENT_VAL_CHANGED); });
    return toggle;
}

QPushButton* makeButton(int handle, const ControlDef& def, QWidget* window)
{
    auto* button = new QPushButton(buttonText(def.text), window);
    button->setAutoDefault(false);
    int number = def.number;
    QObject::connect(button, &QPushButton::clicked, button,
                     [handle, number](bool) { RaiseEvent(handle, number, EVENT_COMMIT); });
    return button;
}

QTimer* makeTimer(int handle, const ControlDef& def, QWidget* window)
{
    // Precise timers keep every tick on t0 + n * interval; coarse ones drift.
    auto* timer = new QTimer(window);
    timer->setTimerType(Qt::PreciseTimer);
    timer->setInterval(def.intervalMs);
    int number = def.number;
    QObject::connect(timer, &QTimer::timeout, timer,
                     [handle, number] { RaiseEvent(handle, number, EVENT_TIMER_TICK); });
    return timer;
}

}  // namespace

bool TextMessage::event(QEvent* event)
{
    if (event->type() != QEvent::ToolTip || !tip_) return QLabel::event(event);
    const std::string text = tip_();
    QToolTip::showText(static_cast<QHelpEvent*>(event)->globalPos(), QString::fromStdString(text), this);
    return true;
}

void FitTextWidth(LoadedControl& control)
{
    auto* label = qobject_cast<QLabel*>(control.widget);
    if (!label) return;
    const Place& place = control.def->place;
    int width = place.width > 0 ? place.width : label->sizeHint().width();
    int height = place.height > 0 ? place.height : label->sizeHint().height();
    label->setGeometry(place.left, place.top, width, height);
}

void BuildControl(int handle, const PanelDef& panel, LoadedControl& control, QWidget* window)
{
    const ControlDef& def = *control.def;
    QAbstractButton* buddy = nullptr;
    switch (def.kind) {
    case CtrlKind::Timer: control.timer = makeTimer(handle, def, window); return;
    case CtrlKind::CommandButton: control.widget = makeButton(handle, def, window); break;
    case CtrlKind::Ring: control.widget = makeRing(handle, def, window); break;
    case CtrlKind::ListBox: control.widget = makeListBox(def, window); break;
    case CtrlKind::Decoration: control.widget = makeDecoration(def, window); break;
    case CtrlKind::TextMessage: control.widget = makeTextMessage(def, panel, window); break;
    case CtrlKind::Toggle:
        buddy = makeToggle(handle, def, window);
        control.widget = buddy;
        break;
    case CtrlKind::Picture: {
        auto* picture = new QLabel(window);
        picture->setPixmap(QPixmap(qs(def.image)));
        control.widget = picture;
        break;
    }
    }
    if (def.kind != CtrlKind::TextMessage && def.font.pixelSize) control.widget->setFont(makeFont(def.font));
    const Place& place = def.place;
    QRect rect(place.left, place.top, place.width, place.height);
    if (auto* list = qobject_cast<QListWidget*>(control.widget))
        rect.adjust(-list->frameWidth(), -list->frameWidth(), list->frameWidth(), list->frameWidth());
    if (def.kind == CtrlKind::TextMessage) FitTextWidth(control);
    else control.widget->setGeometry(rect);
    control.label = makeLabel(def.label, window, buddy);
}
