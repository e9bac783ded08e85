// SHA-256 (FIPS 180-4) of a file's bytes, as CMake's file(SHA256) gives it at
// build time: how the recorder knows a shipped sample it may replace.
#pragma once

#include <string>
#include <string_view>

// The digest in lower-case hex, 64 digits.
std::string Sha256Hex(std::string_view bytes);
