// A sign, seen from outside, that the program is running: its installer and
// uninstaller look for it and ask the user to close the program before they
// replace or remove its files.
#pragma once

// Marks this process as a running copy until it ends, however it ends. Any
// number of copies may run at once (one per port): this only marks, it never
// stops another copy.
void MarkRunning();
