// The state the main window, the commands and the progress dialog share for the whole run.
#pragma once

#include <windows.h>

#include <commdlg.h>
#include <shlobj.h>

#include "disc_pair.h"

constexpr int kTextBufferSize = 512;

struct MainControls {
    HWND openDisc;
    HWND sourceCloseDisc;
    HWND startNewDisc;
    HWND continueDisc;
    HWND add;
    HWND destinationCloseDisc;
    HWND sourceList;
    HWND destinationList;
};

struct UiState {
    HINSTANCE instance;
    HWND mainWindow;
    MainControls controls;
    HBITMAP background;
    HDC pictureDc;              // holds the background picture
    HGDIOBJ keptBitmap;         // what pictureDc held before the picture
    char path[kTextBufferSize]; // the file or folder chosen last; never cleared
    OPENFILENAMEA openFile;
    BROWSEINFOA browseFolder;
    char listText[kTextBufferSize]; // the list line being built, added or shown
    HWND progressDialog;
};

extern UiState g_ui;
extern DiscPair g_discs; // the program's one disc pair
