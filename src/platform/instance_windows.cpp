#include <windows.h>

#include "instance.h"

// The installer opens this name (OpenMutexW) to learn whether a copy runs in
// the user's session. Every copy opens the same mutex without owning it; the
// handle is never closed, so that the system closes it when the process ends.
void MarkRunning() { CreateMutexW(nullptr, FALSE, L"Local\\Quorvex.Running"); }
