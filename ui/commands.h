// The six buttons' commands, the list lines and the buttons' enabled states.
#pragma once

#include <windows.h>

// Runs the command of every button whose handle is `control` (WM_COMMAND's lParam).
void HandleCommand(LPARAM control);
// Appends one line per trailer of the source (true) or destination (false) list to its list box.
void FillTrailerList(bool source);
