// The program's own folder; Windows file names are UTF-16, and UTF-8 holds
// every one of them.
#include <QCoreApplication>
#include <QDir>

#include "runtime.h"

std::string GetProjectDir()
{
    return QDir::toNativeSeparators(QCoreApplication::applicationDirPath()).toStdString();
}
