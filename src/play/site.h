// The site file: TOML, a [[device]] table a device (see playargs.h).
#pragma once

#include <string>

#include "playargs.h"

// Reads the site file at path (as the user gave it) into options: the site's
// name and its devices. Returns "" or every problem, one a line, each naming
// the file, line and key, what was found and what is expected.
std::string ReadSiteFile(const std::string& path, PlayOptions& options);
