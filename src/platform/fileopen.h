// Opening a data file for reading, as each system names files: UTF-8 bytes on
// Linux; on Windows a wide-character name (a narrow one is read in the ANSI
// code page, which fails in folders with other characters).
#pragma once

#include <cstdio>
#include <filesystem>

std::FILE* OpenBytes(const std::filesystem::path& path);
