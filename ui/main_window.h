// Start-up, the main window and its message loop.
#pragma once

#include <windows.h>

extern const char kMainClassName[];
extern const char kMainWindowTitle[];

// Records the instance and registers the window class; false on failure.
bool RegisterMainWindowClass(HINSTANCE instance);
// Creates the main window with its picture and controls; nullptr on failure.
HWND CreateMainWindow();
// Handles messages until the quit message arrives, and returns its exit code.
int RunMessageLoop();
LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
