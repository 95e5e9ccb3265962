// The Windows calls that wait for a person. Tests link a scripted replacement of this file.
#pragma once

#include <windows.h>

#include <commdlg.h>
#include <shlobj.h>

// Shows the open-file dialog; true when a file was chosen (its name is in the settings' buffer).
bool AskForFile(OPENFILENAMEA& settings);
// Shows the folder browser; true when a folder was chosen, its full name then in `path`.
bool AskForFolder(BROWSEINFOA& settings, char* path);
// Shows a message with an OK button and no icon, and returns when it has been pressed.
void ShowMessage(HWND owner, const char* text, const char* caption);
