// Keeping the machine awake while the program streams: a station left with
// the laptop for a shift must not see the device vanish when the laptop
// sleeps on idle.
#pragma once

#include <string>

struct Device;

// A device streams while its clock runs with its port open and a recording
// to send; the status text does not decide it (at the end of a text file it
// reads "IDLE" and then "SIMULATING" within one tick).
bool Streaming(const Device& device);

// One hold for the process, taken while any device streams: asks the system
// to stay awake when streaming starts or moves to another format or port,
// and lets it sleep when no device streams. Cheap when nothing changed: the
// status calls it on each change.
void StayAwakeWhileStreaming();

// The reason the system shows for the hold. Empty (the default): composed
// from the streaming device, "Streaming Velmara blender records to COM1
// (/dev/ttyUSB0)"; a program of many devices names them all at once.
void SetStayAwakeReason(std::string why);

// Whether the system is asked to stay awake now, and how often it has been
// asked since the program started.
bool KeepingAwake();
int AwakeRequests();
