#include "datafile.h"

#include <new>

#include "../app/device.h"
#include "../app/status.h"
#include "../platform/runtime.h"

namespace {

// A look at an engine recording's file about once a second.
constexpr int kTicksPerLook = 4;

// Where the device's file is looked for, in order: its own recording alone,
// or the user's own recordings folder, then the program's folder with the
// samples (one place where the two are the same folder). Each is watched,
// so that a recording put in place while the stream runs is noticed without
// reading anything.
void watchPlaces(Device& device)
{
    for (int i = 0; i < device.placeCount; ++i) EndWatch(device.places[i].watch);
    device.placeCount = 0;
    auto place = [&](std::string path) { device.places[device.placeCount++].path = std::move(path); };
    if (!device.recording.empty()) {
        place(device.recording);
    } else {
        const std::string own = GetProjectDir();
        const std::string user = GetRecordingsDir();
        if (!user.empty() && user != own) place(MakePathname(user, device.format->fileName));
        place(MakePathname(own, device.format->fileName));
    }
    for (int i = 0; i < device.placeCount; ++i) device.places[i].watch = WatchFile(device.places[i].path);
}

// Points path at the first place that has the file; with none, at the last.
void lookUp(Device& device)
{
    device.current = device.placeCount - 1;
    for (int i = 0; i < device.placeCount; ++i) {
        FileChangedSinceLook(device.places[i].watch);  // a fresh look
        if (FileThere(device.places[i].watch)) {
            device.current = i;
            break;
        }
    }
    if (device.current >= 0) device.path = device.places[device.current].path;
}

// Reads the recording at path whole. A recording that is missing, unreadable,
// too short to give one chunk or too large to hold leaves nothing loaded, and
// the binary stream then sends nothing.
void loadRecording(Device& device)
{
    ReleaseRecording(device);
    std::int64_t size = 0;
    if (GetFileInfo(device.path, size) != 1 || size < kChunkWrapMargin || size > kMaxRecordingSize) return;
    std::unique_ptr<std::byte[]> data(new (std::nothrow) std::byte[std::size_t(size)]);
    if (!data) return;
    int handle = OpenFile(device.path, FileAccess::Read, FileType::Binary);
    if (handle <= 0) return;
    std::int64_t read = ReadFile(handle, {data.get(), std::size_t(size)});
    CloseFile(handle);
    if (read != size) return;
    device.loopData = std::move(data);
    device.fileSize = size;
}

// Whether the file loaded (or wanted) changed, went, or was replaced, or one
// appeared in a place looked at before it. Looks at every such place.
bool placesChanged(Device& device)
{
    bool changed = false;
    for (int i = 0; i <= device.current && i < device.placeCount; ++i)
        changed |= FileChangedSinceLook(device.places[i].watch);
    return changed;
}

}  // namespace

void ReleaseRecording(Device& device)
{
    device.loopData.reset();
    device.fileSize = 0;
}

void LoadData(Device& device)
{
    if (device.fileHandle != 0) CloseFile(device.fileHandle);
    device.fileHandle = 0;
    device.ticksSinceLook = 0;
    if (!device.format) return;
    watchPlaces(device);
    lookUp(device);
    if (device.format->kind == FileKind::Text) {
        device.fileHandle = OpenFile(device.path, FileAccess::Read, FileType::Text);
    } else {
        loadRecording(device);
    }
}

bool DataToSend(const Device& device)
{
    if (device.format && device.format->kind != FileKind::Text) return device.loopData != nullptr;
    std::int64_t size = 0;
    if (device.fileHandle <= 0 || GetFileInfo(device.path, size) != 1 || size == 0) return false;
    // Any byte past a byte order mark's three starts a line.
    if (size > 3) return true;
    char line[4];
    const int file = OpenFile(device.path, FileAccess::Read, FileType::Text);
    const bool any = file > 0 && ReadLine(file, line, 3) >= 0;
    if (file > 0) CloseFile(file);
    return any;
}

void ShowIfNothingToSend(Device& device)
{
    if (device.ticking != Ticking::None && !DataToSend(device)) ShowNothingToSend(device);
}

void ReopenTextFile(Device& device)
{
    if (device.fileHandle > 0) CloseFile(device.fileHandle);
    lookUp(device);
    device.fileHandle = OpenFile(device.path, FileAccess::Read, FileType::Text);
}

bool DataFileAppearedFirst(Device& device)
{
    for (int i = 0; i < device.current; ++i)
        if (FileChangedSinceLook(device.places[i].watch) && FileThere(device.places[i].watch)) return true;
    return false;
}

bool WatchRecording(Device& device)
{
    if (++device.ticksSinceLook < kTicksPerLook) return false;
    device.ticksSinceLook = 0;
    if (!placesChanged(device)) return false;
    lookUp(device);
    // A recording deleted with none in its stead goes on from memory.
    if (!FileThere(device.places[device.current].watch)) return false;
    loadRecording(device);
    device.pos = 0;
    return true;
}
