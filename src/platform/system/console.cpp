// The run-time of a console program that streams (quorvex-play): an event
// loop without a display, ended by Ctrl-C and termination requests, and the
// ports still open at the end closed, however it ends.
#include <QCoreApplication>

#include "process.h"
#include "../runtime.h"

namespace {
QCoreApplication* application = nullptr;
}

ConsoleEngine::ConsoleEngine(int& argc, char** argv)
{
    if (!QCoreApplication::instance()) application = new QCoreApplication(argc, argv);
    QuitOnTerminationSignals();
    QuitOnConsoleEvents();
    CloseComPortsAtExit();
}

ConsoleEngine::~ConsoleEngine()
{
    LetSystemSleep();
    delete application;
    application = nullptr;
}

int RunEventLoop()
{
    // A request that came before the loop ran (during start-up) still ends it.
    if (TerminationRequested()) return 0;
    return QCoreApplication::exec();
}

void QuitEventLoop(int code) { QCoreApplication::exit(code); }
