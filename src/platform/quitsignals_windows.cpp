#include "quitsignals.h"

// A GUI process on Windows is ended through its window; nothing to catch.
void QuitOnTerminationSignals() {}
bool TerminationRequested() { return false; }
bool TerminationPending() { return false; }
