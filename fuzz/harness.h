// What both fuzzers share: the program's run-time engine and main panel,
// started once per process, and a pseudo-terminal standing in for the station
// on COM1, so that what the streams send is read back as it left.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Starts the engine, loads the main panel and opens COM1 on the pseudo-terminal.
void startProgram(int* argc, char*** argv);

// Writes a data file beside the program, where it looks for its data.
void writeDataFile(const std::string& name, std::string_view contents);
// Makes a data file of `size` bytes that are all holes: nothing is written.
void sparseDataFile(const std::string& name, long long size);

// Reads exactly `count` bytes from the station's end (1 s at most).
std::string readSent(std::size_t count);
// Whatever is waiting at the station's end right now.
std::string readWaiting();

// Reports a broken invariant and stops: libFuzzer keeps the input.
[[noreturn]] void fail(const std::string& what);
