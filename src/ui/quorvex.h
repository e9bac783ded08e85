// Panels and controls of the user-interface file "quorvex.uir".
#pragma once

#include "../platform/runtime.h"

inline constexpr const char* kUirFile = "quorvex.uir";

// Panel numbers.
inline constexpr int BLENDPAN2 = 1;
inline constexpr int BLENDPANEL = 2;
inline constexpr int DD16PANEL = 3;
inline constexpr int IPCPANEL = 4;
inline constexpr int PANEL = 5;

// Controls of the main panel.
inline constexpr int CLOSEBTN = 2;
inline constexpr int FORMAT = 3;
inline constexpr int SHOW = 4;
inline constexpr int COM = 5;
inline constexpr int ATIMER = 6;
inline constexpr int TEXT = 7;
inline constexpr int DTIMER = 8;
inline constexpr int PICTURE = 9;
inline constexpr int DECORATION = 10;
inline constexpr int DECORATION_2 = 11;
inline constexpr int TEXTMSG_2 = 12;
inline constexpr int BAUD2 = 13;
inline constexpr int BAUD1 = 14;
inline constexpr int DECORATION_3 = 15;
inline constexpr int TEXTMSG_3 = 16;

// Controls of every parameter list panel.
inline constexpr int HIDE = 2;
inline constexpr int LISTBOX = 3;

const UirFile& QuorvexUir();
