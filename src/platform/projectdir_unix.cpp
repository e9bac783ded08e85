// The program's own folder, as the system names it: the bytes of the
// resolved executable path, since a folder name need not be valid UTF-8.
#include <filesystem>
#include <system_error>

#include <QCoreApplication>

#include "fileopen.h"
#include "runtime.h"

std::string GetProjectDir()
{
    std::error_code error;
    auto exe = std::filesystem::canonical("/proc/self/exe", error);
    if (error) return QCoreApplication::applicationDirPath().toLocal8Bit().toStdString();
    return exe.parent_path().string();
}

std::FILE* OpenBytes(const std::filesystem::path& path) { return std::fopen(path.c_str(), "rb"); }
