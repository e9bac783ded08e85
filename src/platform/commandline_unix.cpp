#include "commandline.h"

std::vector<std::string> CommandLineArguments(int argc, char* argv[]) { return {argv + 1, argv + argc}; }
