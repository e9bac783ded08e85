// The program's own folder; Windows file names are UTF-16, and UTF-8 holds
// every one of them.
#include <stdio.h>

#include <QCoreApplication>
#include <QDir>

#include "fileopen.h"
#include "runtime.h"

std::string GetProjectDir()
{
    return QDir::toNativeSeparators(QCoreApplication::applicationDirPath()).toStdString();
}

std::FILE* OpenBytes(const std::filesystem::path& path) { return _wfopen(path.c_str(), L"rb"); }
