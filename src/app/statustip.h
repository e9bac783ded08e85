// The status text's tooltip: what the program sends right now and where, or
// why it sends nothing. Composed only when the tooltip is about to show.
#pragma once

#include <string>

std::string StatusTip();

// Counts the text record just read: the tooltip's record number runs from 1
// at each open of the file, so nothing has to read the file to find it.
void NoteTextRecord();
// The open result of the port's last failure, which the tooltip repeats.
void NoteComFailure(int code);
