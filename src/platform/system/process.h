// Termination requests from outside (Ctrl-C in a terminal, kill, a session
// ending) end the event loop, so that the program shuts down as through its
// close box: the port is closed and its lock released. The rest of what the
// process does with its surroundings (its arguments, a console program's
// interrupts, the sign that it runs) is in runtime.h. One file per system.
#pragma once

void QuitOnTerminationSignals();
// True once a termination request has come: the main loop must not (re)start.
bool TerminationRequested();
// True from the moment a termination request arrives, before the event loop
// has seen it: long work on the loop's thread checks it to stop early.
bool TerminationPending();
