// The engine itself: the application object, the fonts the panels name, the
// event loop, message boxes and the taskbar text.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFontDatabase>
#include <QIcon>
#include <QMessageBox>
#include <QPointer>
#include <QProxyStyle>
#include <QPushButton>
#include <QStyleFactory>
#include <QStyleOptionButton>

#include <cstdlib>

#include "inspect.h"
#include "panel_p.h"
#include "quitsignals.h"
#include "runtime.h"
#include "taskbar.h"

int OldestPanel();

namespace {

// Held by a plain pointer on purpose: when the display goes away, Qt calls
// exit() from inside the event loop, and an object destroyed by the exit
// handlers would be pulled from under the loop that is still running.
QApplication* application = nullptr;
QString taskbarText;

// exit() from inside Qt (the display gone) skips the normal shut-down: the
// ports are closed here so that their lock files go with the program.
void closePortsAtExit()
{
    for (int port = 1; port <= kMaxComPort; ++port) CloseCom(port);
}

void closePortsOnExit()
{
    static bool registered = false;
    if (registered) return;
    registered = true;
    // Touch the port table first, so that it is built before this handler is
    // registered and therefore destroyed only after the handler has run.
    CloseCom(0);
    std::atexit(closePortsAtExit);
}

// Font files the panels' families come from, looked for beside the program
// first, then where Debian installs them. A missing file is no error: Qt
// then substitutes the nearest family it has.
void loadFonts()
{
    const QString appFonts = QCoreApplication::applicationDirPath() + QStringLiteral("/fonts/");
    const char* const files[][2] = {
        {"tahoma.ttf", "/usr/share/wine/fonts/tahoma.ttf"},
        {"tahomabd.ttf", "/usr/share/wine/fonts/tahomabd.ttf"},
        {"DSEG14Classic-Regular.ttf", "/usr/share/fonts/truetype/dseg/DSEG14Classic-Regular.ttf"},
    };
    for (const auto& file : files) {
        QString local = appFonts + QLatin1String(file[0]);
        QString path = QFile::exists(local) ? local : QString::fromLatin1(file[1]);
        if (QFile::exists(path)) QFontDatabase::addApplicationFont(path);
    }
}

// Every window and the taskbar show the program's icon, at the sizes title
// bars and window switchers use; on Wayland the desktop entry names it.
void setIcon()
{
    QIcon icon;
    for (int size : {16, 32, 48, 64, 128})
        icon.addFile(QStringLiteral(":/quorvex/icon/quorvex-%1.png").arg(size), QSize(size, size));
    QApplication::setWindowIcon(icon);
    QGuiApplication::setDesktopFileName(QStringLiteral("quorvex"));
}

// Lists and rings show black text in white fields, as the panels are drawn,
// whatever the desktop's colours. Set once for the whole program: a palette
// set on each window would grow Qt's style caches with each window.
void whiteFields()
{
    QPalette palette = QApplication::palette();
    if (palette.color(QPalette::Base) == Qt::white && palette.color(QPalette::Text) == Qt::black) return;
    palette.setColor(QPalette::Base, Qt::white);
    palette.setColor(QPalette::Text, Qt::black);
    QApplication::setPalette(palette);
}

// Qt's Windows style pulses a box's default button, repainting it about every
// 0.4 s for as long as the box stands, and a cable pulled overnight leaves a
// "COM Error" box up for hours. The boxes' buttons are drawn as plain ones:
// nothing moves while a box waits, and Enter still presses the default.
class StillButtons : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;
    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override
    {
        const auto* button = qstyleoption_cast<const QStyleOptionButton*>(option);
        if (element != CE_PushButtonBevel || !button || !(button->features & QStyleOptionButton::DefaultButton)) {
            QProxyStyle::drawControl(element, option, painter, widget);
            return;
        }
        QStyleOptionButton plain(*button);
        plain.features &= ~QStyleOptionButton::DefaultButton;
        QProxyStyle::drawControl(element, &plain, painter, widget);
    }
};

QStyle* stillButtons()
{
    static QPointer<QStyle> style;
    if (!style) {
        style = new StillButtons(QStyleFactory::create(QApplication::style()->name()));
        style->setParent(QCoreApplication::instance());
    }
    return style;
}

}  // namespace

RunTimeEngine::RunTimeEngine(int& argc, char** argv)
{
    if (!QApplication::instance()) application = new QApplication(argc, argv);
    // Only the program decides when it ends, never the last window closing.
    QApplication::setQuitOnLastWindowClosed(false);
    QuitOnTerminationSignals();
    loadFonts();
    setIcon();
    whiteFields();
}

RunTimeEngine::~RunTimeEngine()
{
    LetSystemSleep();
    while (int panel = OldestPanel()) DiscardPanel(panel);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    delete application;
    application = nullptr;
}

int RunUserInterface()
{
    // Timers switched on during start-up count their first interval from the
    // moment the loop starts, not from when start-up switched them.
    RestartRunningTimers();
    closePortsOnExit();
    // A termination request that came while a start-up box was up ended only
    // that box's loop: it still stands.
    if (TerminationRequested()) return 0;
    return QApplication::exec();
}

int QuitUserInterface(int code)
{
    QApplication::exit(code);
    return 0;
}

int MessagePopup(std::string_view title, std::string_view message, std::string_view detail)
{
    // The program is ending: no box may hold it up.
    if (TerminationRequested()) return 0;
    QMessageBox box;
    box.setWindowTitle(QString::fromUtf8(title.data(), qsizetype(title.size())));
    box.setText(QString::fromUtf8(message.data(), qsizetype(message.size())));
    box.setTextFormat(Qt::PlainText);
    if (!detail.empty()) box.setDetailedText(QString::fromUtf8(detail.data(), qsizetype(detail.size())));
    box.setStandardButtons(QMessageBox::Ok);
    box.setWindowModality(Qt::ApplicationModal);
    for (QPushButton* button : box.findChildren<QPushButton*>()) button->setStyle(stillButtons());
    RequestHeldRepaints();  // what the status says while the box waits
    box.exec();
    return 0;
}

void ApplyTaskbarText()
{
    if (QWidget* main = PanelWidget(OldestPanel())) ShowTaskbarText(main, taskbarText);
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


// Joined as bytes: a folder name that is no valid UTF-8 (a Linux file name
// may be any bytes) would not survive a trip through QString.
std::string MakePathname(std::string_view directory, std::string_view fileName)
{
    const char separator = QDir::separator().toLatin1();
    std::string path(directory);
    if (!path.empty() && path.back() != separator && path.back() != '/') path += separator;
    path += fileName;
    return path;
}
