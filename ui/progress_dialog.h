// The small window that names the trailer being copied.
#pragma once

#include <windows.h>

INT_PTR CALLBACK ProgressDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
// Shows a new progress dialog naming the trailer in the list text buffer.
void OpenProgressDialog();
// Ends the progress dialog shown last.
void CloseProgressDialog();
