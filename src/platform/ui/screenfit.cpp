// A window's first place on the screen: where its panel is defined, moved up
// or left just enough to lie within the screen's available area (which leaves
// out the taskbar), and, where it is larger than that area, made smaller by
// as much as its lists can give (they scroll). Panels are defined for a 1360
// x 768 screen; on a smaller one, or with the system's scaling (which scales
// the defined place too), part of a window would be behind the taskbar or off
// the screen. A further copy of a window goes a step right and down from the
// last, so that it does not hide the one before.
#include <QAbstractScrollArea>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <QWindow>

#include <algorithm>
#include <cmath>

#include "panel_p.h"

namespace {

// How far a further copy of a window lies from the last.
constexpr int kCascadeStep = 24;
// The least a list keeps when its window is made smaller: a few rows.
constexpr QSize kSmallestList{60, 48};

// The frame a window will get. Windows tells it before the window shows. An
// X11 window manager adds it only once the window shows, and places the frame
// where the window was asked to be, so the window must leave room for it from
// the start: openbox's title bar here is 20 px high, other desktops' taller.
// The window manager draws it in the screen's pixels, whatever Qt's scale.
QMargins expectedFrame(QWidget* window)
{
    const QMargins known = window->windowHandle() ? window->windowHandle()->frameMargins() : QMargins();
    if (!known.isNull() || QGuiApplication::platformName() != QLatin1String("xcb")) return known;
    const qreal scale = window->devicePixelRatioF();
    auto logical = [scale](int pixels) { return int(std::ceil(pixels / scale)); };
    return {logical(4), logical(38), logical(4), logical(4)};
}

QRect availableArea(QPoint at)
{
    QScreen* screen = QGuiApplication::screenAt(at);
    if (!screen) screen = QGuiApplication::primaryScreen();
    if (!screen) return {};
    QRect area = screen->availableGeometry();
    // At a fractional scale (150 %) the window's size in pixels rounds up.
    const qreal scale = screen->devicePixelRatio();
    if (scale != qreal(int(scale))) area.adjust(0, 0, -1, -1);
    return area;
}

// Makes the window smaller by up to `by`, as far as its lists can give, and
// the lists with it; they keep their places.
void shrinkBy(QWidget* window, QSize by)
{
    const auto lists = window->findChildren<QAbstractScrollArea*>(Qt::FindDirectChildrenOnly);
    if (lists.isEmpty()) return;  // nothing in it scrolls: it keeps its size
    for (const QAbstractScrollArea* list : lists) by = by.boundedTo(list->size() - kSmallestList);
    by = by.expandedTo(QSize(0, 0));
    if (by.isNull()) return;
    for (QAbstractScrollArea* list : lists) list->resize(list->size() - by);
    window->setFixedSize(window->size() - by);
}

}  // namespace

void FitOnScreen(QWidget* window)
{
    // The native window, made now, tells its frame's size where the system knows it.
    window->winId();
    const QPoint defined = window->pos();  // the frame's top left
    const QRect area = availableArea(defined);
    if (area.isEmpty()) return;
    const QMargins frame = expectedFrame(window);
    shrinkBy(window, (window->size().grownBy(frame) - area.size()).expandedTo(QSize(0, 0)));
    const QSize outer = window->size().grownBy(frame);
    // Left and top win over right and bottom: the title bar stays reachable.
    const int left = std::max(area.left(), std::min(defined.x(), area.left() + area.width() - outer.width()));
    const int top = std::max(area.top(), std::min(defined.y(), area.top() + area.height() - outer.height()));
    if (QPoint(left, top) != defined) window->move(left, top);
}

void CascadeFrom(QWidget* window, QWidget* last)
{
    window->winId();
    QPoint next = last->pos() + QPoint(kCascadeStep, kCascadeStep);
    const QRect area = availableArea(last->pos());
    const QSize outer = window->size().grownBy(expectedFrame(window));
    // Off the area's right or bottom edge, the steps start over from its left or top.
    if (next.x() + outer.width() > area.left() + area.width()) next.setX(area.left());
    if (next.y() + outer.height() > area.top() + area.height()) next.setY(area.top());
    window->move(next);
}
