// Ctrl-C during kovdisc add and copy: the first asks the copy to stop after the trailer under
// way, so that what was copied is committed and reported; a second ends the program at once, as
// a kill would, and the disc is left as a kill leaves it.
#pragma once

// From here on, SIGINT and SIGTERM (on Windows, the console's Ctrl-C and Ctrl-Break) are caught.
void CatchInterruptions();
// Whether one came since.
bool Interrupted();
