// The data file of the chosen format: a text file opened for reading line by
// line, or a binary recording held whole in memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

// Handle of the open text data file; 0 when none is open, -1 after a failed open.
extern int fileHandle;
// Full path of the current data file.
extern std::string path;
// The binary recording, fileSize bytes; empty when none could be loaded.
extern std::unique_ptr<std::byte[]> loopData;
extern std::int64_t fileSize;

// The largest recording held in memory.
inline constexpr std::int64_t kMaxRecordingSize = std::int64_t(1) << 30;

// Loads the data of the format the format ring shows.
void openFile();
void releaseRecording();

int SetFormat(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
