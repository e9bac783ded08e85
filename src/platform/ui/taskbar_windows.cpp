// The Windows taskbar shows a window's title on its button, and the title is
// the program's own: so the status goes on the button as an overlay icon (a
// green or a grey dot) whose description is the text, and into the tooltip of
// the button's thumbnail ("Quorvex  2.14 - Simulating"), through ITaskbarList3.
#include "taskbar.h"

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QImage>
#include <QPainter>
#include <QWidget>

#include <windows.h>
#include <shobjidl.h>

namespace {

HICON dot(QColor colour)
{
    QImage image(16, 16, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(Qt::black, 1));
    painter.setBrush(colour);
    painter.drawEllipse(QRectF(2.5, 2.5, 11, 11));
    painter.end();
    return image.toHICON();
}

struct Overlay {
    ITaskbarList3* taskbar = nullptr;
    HICON running = nullptr, idle = nullptr;
    HWND window = nullptr;
    std::wstring text;
    std::wstring tooltip;

    bool ready()
    {
        if (taskbar) return true;
        if (FAILED(CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskbarList3,
                                    reinterpret_cast<void**>(&taskbar))))
            return false;
        if (FAILED(taskbar->HrInit())) {
            taskbar->Release();
            taskbar = nullptr;
            return false;
        }
        running = dot(QColor(0x2e, 0xb8, 0x4b));
        idle = dot(QColor(0x9a, 0x9a, 0x9a));
        return true;
    }

    // Until its button exists the taskbar refuses an overlay: applied again
    // when Windows says the button was created.
    void apply()
    {
        if (!window || !ready()) return;
        taskbar->SetOverlayIcon(window, text == L"Simulating" ? running : idle, text.c_str());
        taskbar->SetThumbnailTooltip(window, tooltip.c_str());
    }
};

Overlay& overlay()
{
    static Overlay state;
    return state;
}

class ButtonCreated : public QAbstractNativeEventFilter {
public:
    bool nativeEventFilter(const QByteArray&, void* message, qintptr*) override
    {
        static const UINT created = RegisterWindowMessageW(L"TaskbarButtonCreated");
        const MSG* msg = static_cast<const MSG*>(message);
        if (msg->message == created && msg->hwnd == overlay().window) overlay().apply();
        return false;
    }
};

}  // namespace

void ShowTaskbarOverlay(QWidget* window, const QString& text)
{
    static ButtonCreated* filter = nullptr;
    if (!filter) QCoreApplication::instance()->installNativeEventFilter(filter = new ButtonCreated);
    overlay().window = reinterpret_cast<HWND>(window->winId());
    overlay().text = text.toStdWString();
    overlay().tooltip = (window->windowTitle() + QStringLiteral(" - ") + text).toStdWString();
    overlay().apply();
}
