// A device's data file: a text file opened for reading line by line, or a
// binary recording held whole in memory; looked for where the device's
// format keeps it, and watched for the changes users make while it streams.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

struct Device;

// Loads the data of the device's format: its own recording when it has one,
// otherwise the format's file, looked for in the user's recordings folder
// first, then beside the program.
void LoadData(Device& device);
void ReleaseRecording(Device& device);

// Whether the data loaded gives anything to send: a text file with a line, a
// recording of at least one chunk.
bool DataToSend(const Device& device);
// Once the port is open and the data loaded: a device that has nothing to
// send shows so from that moment on, not only at its first tick.
void ShowIfNothingToSend(Device& device);

// Closes the text file and opens it again from its first line, looked for
// anew: a recording put in the user's folder meanwhile is the one opened.
void ReopenTextFile(Device& device);
// Whether a data file has appeared in a place looked in before the one being
// read (the user's own recording put in while the sample streams).
bool DataFileAppearedFirst(Device& device);
// Called on every tick of the engine stream; about once a second, looks at
// the recording's file, and loads a changed, replaced or newly there one, to
// be streamed from its start. A recording deleted goes on from memory.
// Returns whether it loaded one.
bool WatchRecording(Device& device);

// The window's data file: handle of the open text file (0 when none is open,
// -1 after a failed open), its full path, and the binary recording of
// fileSize bytes (empty when none could be loaded).
extern int& fileHandle;
extern std::string& path;
extern std::unique_ptr<std::byte[]>& loopData;
extern std::int64_t& fileSize;

// The window's: loads the data of the format the format ring shows.
void openFile();

int SetFormat(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
