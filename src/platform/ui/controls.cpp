// Control values and attributes, by panel handle and control number: what a
// ring, toggle or list box holds, a text message's text, a timer's state.
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QTimer>

#include "../runtime.h"
#include "panel_p.h"

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
