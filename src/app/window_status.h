// What the window shows of its device: the main panel's status text and
// timers, the taskbar text, and the "COM Error" box.
#pragma once

#include "device.h"

DeviceView& WindowView();
