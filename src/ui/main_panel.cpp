// The main window: format, port and baud choice, the status, the list button.
#include "../app/statustip.h"
#include "panels.h"
#include "runtime.h"

namespace {

constexpr FontDef kTahoma11{"Tahoma", 11};
constexpr FontDef kTahoma12{"Tahoma", 12};
constexpr FontDef kTahoma14{"Tahoma", 14};
// Segment display font for the status; condensed at load until "SIMULATING"
// fits the status box, whose inner right edge is 2 px inside 368.
constexpr FontDef kSegment33{"DSEG14 Classic", 33};
constexpr int kStatusTextMaxWidth = 368 - 2 - 149 - 2;

constexpr ItemDef kFormatItems[] = {
    {"Velmara Automatic Blending System", 0},
    {"Velmara+ Automatic Blending System", 6},
    {"Velmara Intelligent Pump Control", 3},
    {"Velmara Digital DAS 16", 5},
    {"SAE J1587", 1},
    {"SAE J1939", 2},
};

constexpr ItemDef kComItems[] = {
    {"1", 1},   {"2", 2},   {"3", 3},   {"4", 4},   {"5", 5},   {"6", 6},   {"7", 7},   {"8", 8},
    {"9", 9},   {"10", 10}, {"11", 11}, {"12", 12}, {"13", 13}, {"14", 14}, {"15", 15}, {"16", 16},
};

ControlDef closeButton()
{
    ControlDef c{.number = CLOSEBTN, .constant = "CLOSEBTN", .kind = CtrlKind::CommandButton};
    c.place = {75, 68, 46, 26};
    c.text = "__Close";
    c.font = kTahoma11;
    c.callback = "closeApp";
    return c;
}

ControlDef ring(int number, std::string_view constant, Place place, std::span<const ItemDef> items,
                int value, std::string_view callback)
{
    ControlDef c{.number = number, .constant = constant, .kind = CtrlKind::Ring, .place = place};
    c.items = items;
    c.value = value;
    c.font = kTahoma14;
    c.callback = callback;
    return c;
}

ControlDef timer(int number, std::string_view constant, int intervalMs, std::string_view callback)
{
    ControlDef c{.number = number, .constant = constant, .kind = CtrlKind::Timer};
    c.intervalMs = intervalMs;
    c.callback = callback;
    return c;
}

ControlDef textMessage(int number, std::string_view constant, Place place, std::string_view text, FontDef font)
{
    ControlDef c{.number = number, .constant = constant, .kind = CtrlKind::TextMessage, .place = place};
    c.text = text;
    c.font = font;
    return c;
}

ControlDef decoration(int number, std::string_view constant, Place place, DecoLook look)
{
    ControlDef c{.number = number, .constant = constant, .kind = CtrlKind::Decoration, .place = place};
    c.look = look;
    return c;
}

ControlDef toggle(int number, std::string_view constant, int top, std::string_view text, int value)
{
    ControlDef c{.number = number, .constant = constant, .kind = CtrlKind::Toggle};
    c.place = {386, top, 13, 13};
    c.value = value;
    c.label = {text, 402, top, kTahoma11};
    c.callback = "ServiceBaud";
    return c;
}

const ControlDef kControls[] = {
    closeButton(),
    [] {
        ControlDef c = ring(FORMAT, "FORMAT", {146, 114, 303, 23}, kFormatItems, 0, "SetFormat");
        c.caption = TEXTMSG_2;
        return c;
    }(),
    [] {
        ControlDef c{.number = SHOW, .constant = "SHOW", .kind = CtrlKind::CommandButton};
        c.place = {224, 78, 128, 23};
        c.text = "Show Parameter List";
        c.font = kTahoma11;
        c.callback = "ShowPanel";
        return c;
    }(),
    [] {
        ControlDef c = ring(COM, "COM", {388, 21, 50, 23}, kComItems, 1, "setCom");
        c.label = {"COM", 396, 4, kTahoma12};
        c.itemTip = ComPortDescription;
        return c;
    }(),
    timer(ATIMER, "ATIMER", 1000, "ATimerTick"),
    [] {
        ControlDef c = textMessage(TEXT, "TEXT", {149, 23, 0, 36}, "IDLE", kSegment33);
        c.widestText = "SIMULATING";
        c.maxWidth = kStatusTextMaxWidth;
        c.tip = StatusTip;
        return c;
    }(),
    timer(DTIMER, "DTIMER", 250, "DTimerTick"),
    [] {
        ControlDef c{.number = PICTURE, .constant = "PICTURE", .kind = CtrlKind::Picture};
        c.place = {6, 7, 127, 139};
        c.image = ":/quorvex/logo.png";
        return c;
    }(),
    [] {
        ControlDef c = decoration(DECORATION, "DECORATION", {146, 14, 222, 53}, DecoLook::RecessedBox);
        c.fill = {189, 197, 188};
        c.hasFill = true;
        return c;
    }(),
    decoration(DECORATION_2, "DECORATION_2", {5, 6, 131, 143}, DecoLook::RecessedFrame),
    textMessage(TEXTMSG_2, "TEXTMSG_2", {152, 96, 0, 16}, "Format", kTahoma12),
    toggle(BAUD2, "BAUD2", 86, "9600", 0),
    toggle(BAUD1, "BAUD1", 70, "19200", 1),
    decoration(DECORATION_3, "DECORATION_3", {378, 59, 68, 45}, DecoLook::RecessedFrame),
    [] {
        // Drawn over the frame's top edge in the panel colour, breaking its line.
        ControlDef c = textMessage(TEXTMSG_3, "TEXTMSG_3", {386, 51, 0, 16}, " Baud ", kTahoma12);
        c.opaque = true;
        return c;
    }(),
};

// Back to front.
constexpr int kDrawOrder[] = {DECORATION, DECORATION_2, CLOSEBTN, TEXT,         COM,   FORMAT,   PICTURE,
                              TEXTMSG_2,  SHOW,         DECORATION_3, BAUD1, BAUD2, TEXTMSG_3};

}  // namespace

PanelDef MainPanelDef()
{
    PanelDef p{.number = PANEL, .constant = "PANEL", .title = "Quorvex  2.14"};
    p.width = 462;
    p.height = 153;
    p.top = 553;
    p.left = 64;
    p.background = {192, 192, 192};
    p.closeControl = CLOSEBTN;
    p.controls = kControls;
    p.drawOrder = kDrawOrder;
    return p;
}
