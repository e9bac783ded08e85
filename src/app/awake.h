// Keeping the machine awake while the program streams: a station left with
// the laptop for a shift must not see the device vanish when the laptop
// sleeps on idle.
#pragma once

// Streaming is a stream's timer running with the port open and a recording
// to send; the status text does not decide it (at the end of a text file it
// reads "IDLE" and then "SIMULATING" within one tick). Asks the system to stay
// awake when streaming starts or moves to another format or port, and lets it
// sleep when streaming stops. Cheap when nothing changed: the status calls it on each change.
void StayAwakeWhileStreaming();

// Whether the system is asked to stay awake now, and how often it has been
// asked since the program started.
bool KeepingAwake();
int AwakeRequests();
