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

// Loads the data of the format the format ring shows. Each data file is
// looked for in the user's recordings folder first, then beside the program.
void openFile();
void releaseRecording();

// Closes the text file and opens it again from its first line, looked for
// anew: a recording put in the user's folder meanwhile is the one opened.
void reopenTextFile();
// Whether a data file has appeared in a place looked in before the one being
// read (the user's own recording put in while the sample streams).
bool dataFileAppearedFirst();
// Called on every tick of the engine stream; about once a second, looks at
// the recording's file, and loads a changed, replaced or newly there one, to
// be streamed from its start. A recording deleted goes on from memory.
void watchRecording();

int SetFormat(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
