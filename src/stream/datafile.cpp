#include "datafile.h"

#include <array>
#include <new>

#include "../app/formats.h"
#include "../app/startup.h"
#include "../platform/runtime.h"
#include "../serial/comcfg.h"
#include "../ui/quorvex.h"
#include "streams.h"

int fileHandle = 0;
std::string path;
std::unique_ptr<std::byte[]> loopData;
std::int64_t fileSize = 0;

namespace {

// Where the chosen format's file is looked for, in order: the user's own
// recordings folder, then the program's folder with the samples (one place
// where the two are the same folder). Each is watched, so that a recording
// put in place while the stream runs is noticed without reading anything.
struct Place {
    std::string path;
    int watch = 0;
};
std::array<Place, 2> places;
int placeCount = 0;
int current = -1;  // the place path names

// A look at an engine recording's file about once a second.
constexpr int kTicksPerLook = 4;
int ticksSinceLook = 0;

void watchPlaces(std::string_view fileName)
{
    for (int i = 0; i < placeCount; ++i) EndWatch(places[i].watch);
    placeCount = 0;
    const std::string own = GetProjectDir();
    const std::string user = GetRecordingsDir();
    if (!user.empty() && user != own) places[placeCount++].path = MakePathname(user, fileName);
    places[placeCount++].path = MakePathname(own, fileName);
    for (int i = 0; i < placeCount; ++i) places[i].watch = WatchFile(places[i].path);
}

// Points path at the first place that has the file; with none, at the last.
void lookUp()
{
    current = placeCount - 1;
    for (int i = 0; i < placeCount; ++i) {
        FileChangedSinceLook(places[i].watch);  // a fresh look
        if (FileThere(places[i].watch)) {
            current = i;
            break;
        }
    }
    if (current >= 0) path = places[current].path;
}

// Reads the recording at path whole. A recording that is missing, unreadable,
// too short to give one chunk or too large to hold leaves nothing loaded, and
// the binary stream then sends nothing.
void loadRecording()
{
    releaseRecording();
    std::int64_t size = 0;
    if (GetFileInfo(path, size) != 1 || size < kChunkWrapMargin || size > kMaxRecordingSize) return;
    std::unique_ptr<std::byte[]> data(new (std::nothrow) std::byte[std::size_t(size)]);
    if (!data) return;
    int handle = OpenFile(path, FileAccess::Read, FileType::Binary);
    if (handle <= 0) return;
    std::int64_t read = ReadFile(handle, {data.get(), std::size_t(size)});
    CloseFile(handle);
    if (read != size) return;
    loopData = std::move(data);
    fileSize = size;
}

// Whether the file loaded (or wanted) changed, went, or was replaced, or one
// appeared in a place looked at before it. Looks at every such place.
bool placesChanged(int upTo)
{
    bool changed = false;
    for (int i = 0; i <= upTo && i < placeCount; ++i) changed |= FileChangedSinceLook(places[i].watch);
    return changed;
}

}  // namespace

void releaseRecording()
{
    loopData.reset();
    fileSize = 0;
}

void openFile()
{
    if (fileHandle != 0) CloseFile(fileHandle);
    fileHandle = 0;
    ticksSinceLook = 0;
    int formatValue = 0;
    GetCtrlVal(spanel, FORMAT, formatValue);
    const DeviceFormat* format = LookupFormat(formatValue);
    if (!format) return;
    watchPlaces(format->fileName);
    lookUp();
    if (format->kind == FileKind::Text) {
        fileHandle = OpenFile(path, FileAccess::Read, FileType::Text);
    } else {
        loadRecording();
    }
}

void reopenTextFile()
{
    if (fileHandle > 0) CloseFile(fileHandle);
    lookUp();
    fileHandle = OpenFile(path, FileAccess::Read, FileType::Text);
}

bool dataFileAppearedFirst()
{
    for (int i = 0; i < current; ++i)
        if (FileChangedSinceLook(places[i].watch) && FileThere(places[i].watch)) return true;
    return false;
}

void watchRecording()
{
    if (++ticksSinceLook < kTicksPerLook) return;
    ticksSinceLook = 0;
    if (!placesChanged(current)) return;
    lookUp();
    // A recording deleted with none in its stead goes on from memory.
    if (!FileThere(places[current].watch)) return;
    loadRecording();
    pos = 0;
}

int SetFormat(int /*panel*/, int /*control*/, int event, void*, int, int)
{
    if (event != EVENT_COMMIT) return 0;
    SetCtrlAttribute(spanel, ATIMER, ATTR_ENABLED, 0);
    SetCtrlAttribute(spanel, DTIMER, ATTR_ENABLED, 0);
    openFile();
    openComCfg(comport, comport);
    return 0;
}
