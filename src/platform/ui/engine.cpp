// The engine itself: the application object, the fonts and the icon the
// windows show, and the event loop. Message boxes: boxes.cpp; the taskbar
// text: taskbar.cpp.
#include <QApplication>
#include <QFile>
#include <QFontDatabase>
#include <QIcon>

#include "../runtime.h"
#include "../system/process.h"
#include "panel_p.h"

namespace {

// Held by a plain pointer on purpose: when the display goes away, Qt calls
// exit() from inside the event loop, and an object destroyed by the exit
// handlers would be pulled from under the loop that is still running.
QApplication* application = nullptr;

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

}  // namespace

RunTimeEngine::RunTimeEngine(int& argc, char** argv)
{
    if (!QApplication::instance()) application = new QApplication(argc, argv);
    // Only the program decides when it ends, never the last window closing.
    QApplication::setQuitOnLastWindowClosed(false);
    QuitOnTerminationSignals();
    loadFonts();
    InstallAccessibleRings();
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
    CloseComPortsAtExit();
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
