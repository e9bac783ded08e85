// A window's first place on the screen: where its panel is defined, moved up
// or left just enough to lie within the screen's available area (which leaves
// out the taskbar). Panels are defined for a 1360 x 768 screen; on a smaller
// one, or with the system's scaling (which scales the defined place too), part
// of a window would be behind the taskbar or off the screen.
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <QWindow>

#include <algorithm>

#include "panel_p.h"

namespace {

// The frame a window will get. Windows tells it before the window shows. An
// X11 window manager adds it only once the window shows, and places the frame
// where the window was asked to be, so the window must leave room for it from
// the start: openbox's title bar here is 20 px high, other desktops' taller.
QMargins expectedFrame(QWidget* window)
{
    const QMargins known = window->windowHandle() ? window->windowHandle()->frameMargins() : QMargins();
    if (!known.isNull() || QGuiApplication::platformName() != QLatin1String("xcb")) return known;
    return {4, 38, 4, 4};
}

}  // namespace

void FitOnScreen(QWidget* window)
{
    // The native window, made now, tells its frame's size where the system knows it.
    window->winId();
    const QPoint defined = window->pos();  // the frame's top left
    QScreen* screen = QGuiApplication::screenAt(defined);
    if (!screen) screen = QGuiApplication::primaryScreen();
    if (!screen) return;
    QRect area = screen->availableGeometry();
    // At a fractional scale (150 %) the window's size in pixels rounds up.
    const qreal scale = screen->devicePixelRatio();
    if (scale != qreal(int(scale))) area.adjust(0, 0, -1, -1);
    const QSize outer = window->size().grownBy(expectedFrame(window));
    // Left and top win over right and bottom: the title bar stays reachable.
    const int left = std::max(area.left(), std::min(defined.x(), area.left() + area.width() - outer.width()));
    const int top = std::max(area.top(), std::min(defined.y(), area.top() + area.height() - outer.height()));
    if (QPoint(left, top) != defined) window->move(left, top);
}
