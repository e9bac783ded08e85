// The samples the program ships beside itself (data/ at build time), known by
// name, size and SHA-256: on Windows the recorder saves where the installer
// put them, and a sample no one has changed is replaced without asking.
#pragma once

#include <filesystem>

// Whether the file is still the shipped sample of its name, byte for byte.
bool IsShippedSample(const std::filesystem::path& file);
