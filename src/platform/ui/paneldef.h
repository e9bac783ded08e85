// Declarative panel definitions: what a user-interface file holds. A panel is
// a table of controls, each with its number, kind, text, value at load, place,
// font and the name of its callback; LoadPanel turns a table into a window.
#pragma once

#include <span>
#include <string>
#include <string_view>

using CtrlCallback = int (*)(int panel, int control, int event, void* callbackData,
                             int eventData1, int eventData2);

enum class CtrlKind { CommandButton, Ring, Timer, TextMessage, Picture, Decoration, Toggle, ListBox };

// How a decoration is drawn.
enum class DecoLook { None, RecessedBox, RecessedFrame };

struct Rgb {
    int r = 0, g = 0, b = 0;
    friend bool operator==(const Rgb&, const Rgb&) = default;
};

struct FontDef {
    std::string_view family;  // empty: the system's dialog font
    int pixelSize = 13;
};

struct Place {
    int left = 0, top = 0;
    int width = 0, height = 0;  // 0: follows the text
};

struct ItemDef {
    std::string_view label;
    int value = 0;
};

// A caption that belongs to a control: the "COM" above a ring, the "19200"
// beside a toggle.
struct LabelDef {
    std::string_view text;
    int left = 0, top = 0;
    FontDef font;
};

struct ControlDef {
    int number = 0;
    std::string_view constant;
    CtrlKind kind = CtrlKind::Decoration;
    Place place;
    std::string_view text;        // button text, message text; "__X" underlines X
    int value = 0;                // value at load: toggles; rings and list boxes by item value
    std::span<const ItemDef> items;
    FontDef font;
    LabelDef label;
    std::string_view callback;    // bound by name when the panel is loaded
    int intervalMs = 0;           // timers
    DecoLook look = DecoLook::None;
    Rgb fill{};                   // decorations with hasFill
    bool hasFill = false;
    bool opaque = false;          // text messages: paint the panel colour behind the text
    std::string_view image;       // pictures: the name of an embedded image
    std::string_view widestText;  // text messages: condense the font until this fits maxWidth
    int maxWidth = 0;
    // Rings: a tooltip for the item with this value, asked afresh each time
    // the list opens (what a COM number is can change while the program runs).
    std::string (*itemTip)(int value) = nullptr;
    // Text messages: their tooltip, composed each time it is about to show.
    std::string (*tip)() = nullptr;
    // A text message of the panel that captions this control (the "Format"
    // over its ring): the control's name for screen readers. A control with a
    // label of its own is named by that; 0: none.
    int caption = 0;
    // List boxes: the height of a row; 0: what the style gives. The place of a
    // list box is that of its rows; its frame is drawn around them.
    int rowHeight = 0;
};

struct PanelDef {
    int number = 0;
    std::string_view constant;
    std::string_view title;
    int width = 0, height = 0;
    int top = 0, left = 0;        // first position on the screen
    Rgb background;
    int closeControl = 0;         // the control the window's close box operates
    bool keysClose = false;       // Escape and Alt+F4 operate it too (list windows, not the main one)
    std::span<const ControlDef> controls;
    std::span<const int> drawOrder;  // control numbers, back to front; empty: table order
};

struct UirFile {
    std::string_view name;
    std::span<const PanelDef> panels;
    CtrlCallback (*resolveCallback)(std::string_view name);
};
