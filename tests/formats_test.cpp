// The format catalogue: one row per device, nothing for values that name none.
#include "app/formats.h"
#include "support.h"
#include "ui/panels.h"

namespace {

// The fields a text format's parameter list shows.
int listedFields(int panel)
{
    if (!panel) return 0;
    for (const ControlDef& control : ListPanelDef(panel).controls)
        if (control.kind == CtrlKind::ListBox) return int(control.items.size());
    return 0;
}

TEST(Formats, EachValueGivesItsNameFileKindRateTimerAndList)
{
    struct Row {
        int value;
        const char* shortName;
        const char* file;
        FileKind kind;
        int baudOff, baudOn;
        StreamTimer timer;
        int panel;
        const char* boxTitle;
    };
    const Row table[] = {
        {0, "blender", "blender.csv", FileKind::Text, 9600, 19200, StreamTimer::Text, BLENDPANEL, ""},
        {1, "j1587", "ddec.bin", FileKind::Binary, 9600, 9600, StreamTimer::Binary, 0, "J1587 Data"},
        {2, "j1939", "hdv2.bin", FileKind::Binary, 115200, 115200, StreamTimer::Binary, 0, "J1939 Data"},
        {3, "ipc", "frac.csv", FileKind::Text, 9600, 19200, StreamTimer::Text, IPCPANEL, ""},
        {5, "dd16", "dd16.csv", FileKind::Text, 9600, 19200, StreamTimer::Text, DD16PANEL, ""},
        {6, "blenderplus", "blenderplus.csv", FileKind::Text, 9600, 19200, StreamTimer::Text, BLENDPAN2, ""},
    };
    for (const Row& row : table) {
        SCOPED_TRACE(row.value);
        const DeviceFormat* format = LookupFormat(row.value);
        EXPECT_NE(format, nullptr);
        if (!format) continue;
        EXPECT_EQ(LookupFormatByShortName(row.shortName), format);
        EXPECT_EQ(format->fileName, row.file);
        EXPECT_EQ(format->kind, row.kind);
        EXPECT_EQ(FormatBaud(*format, false), row.baudOff);
        EXPECT_EQ(FormatBaud(*format, true), row.baudOn);
        EXPECT_EQ(format->timer, row.timer);
        EXPECT_EQ(format->listPanel, row.panel);
        EXPECT_EQ(format->boxTitle, row.boxTitle);
        // The recorder's field count is the one the window's list shows.
        EXPECT_EQ(format->fieldCount, listedFields(format->listPanel));
    }
}

TEST(Formats, ValuesThatNameNoFormatGiveNothing)
{
    for (int value : {4, -1, 7, 100}) EXPECT_EQ(LookupFormat(value), nullptr) << value;
}

TEST(Formats, EngineStreamsPointToTheirSaeDocument)
{
    EXPECT_EQ(LookupFormat(1)->boxText, "Please refer to SAE \"Surface Vehicle Recommended Practice\" J1587");
    EXPECT_EQ(LookupFormat(2)->boxText, "Please refer to SAE \"Surface Vehicle Recommended Practice\" J1939");
}

}  // namespace
