// A console program's arguments as the user typed them, in UTF-8, as every
// name the program handles is. One file per system, chosen by the build.
#pragma once

#include <string>
#include <vector>

// The arguments after the program's name. On Unix they are argv's bytes as
// they are; on Windows argv holds them in the ANSI code page, which has no
// room for most names ("測試" becomes "??"), so they are taken from the wide
// command line instead.
std::vector<std::string> CommandLineArguments(int argc, char* argv[]);
