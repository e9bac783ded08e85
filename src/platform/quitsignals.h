// Termination requests from outside (Ctrl-C in a terminal, kill, a session
// ending) end the event loop, so that the program shuts down as through its
// close box: the port is closed and its lock released.
#pragma once

void QuitOnTerminationSignals();
