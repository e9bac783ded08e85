#include "datafile.h"

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
    const std::string directory = GetProjectDir();
    int formatValue = 0;
    GetCtrlVal(spanel, FORMAT, formatValue);
    const DeviceFormat* format = LookupFormat(formatValue);
    if (!format) return;
    path = MakePathname(directory, format->fileName);
    if (format->kind == FileKind::Text) {
        fileHandle = OpenFile(path, FileAccess::Read, FileType::Text);
    } else {
        loadRecording();
    }
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
