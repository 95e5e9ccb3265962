#include "commands.h"

#include <cstdio>

#include "progress_dialog.h"
#include "shown_names.h"
#include "ui_state.h"
#include "windows_interface.h"

namespace {

const int kShownNameSize = 3 * 8 + 1; // 8 characters of up to 3 bytes each in UTF-8, and the 0
const char kErrorCaption[] = "Error";
const char kOpenError[] = "Error opening file.";
const char kProgramError[] = "Program error";
const char kDiscFull[] = "Destination disc is full.";
const char kWriteError[] = "Error writing file.";

void ShowError(const char* text) {
    ShowMessage(g_ui.mainWindow, text, kErrorCaption);
}

// Enables each button as the two discs' open states call for.
void ShowDiscStates() {
    const bool source = g_discs.IsSourceOpen();
    const bool destination = g_discs.IsDestinationOpen();
    const MainControls& c = g_ui.controls;
    EnableWindow(c.openDisc, !source);
    EnableWindow(c.sourceCloseDisc, source);
    EnableWindow(c.startNewDisc, !destination);
    EnableWindow(c.continueDisc, !destination);
    EnableWindow(c.destinationCloseDisc, destination);
    EnableWindow(c.add, source && destination);
}

// The line that shows a trailer, built in the list text buffer. It also identifies the
// trailer in the destination list box.
void BuildListLine(const TrailerEntry& entry) {
    char name[kShownNameSize];
    ShowableName(entry.name, name, sizeof name);
    std::snprintf(g_ui.listText, sizeof g_ui.listText, kListLineFormat, name,
                  static_cast<int>(entry.end / kBytesPerSecond));
}

void OpenDisc() {
    if (!AskForFile(g_ui.openFile)) {
        return;
    }
    if (!g_discs.OpenSourceDisc(g_ui.path, g_ui.openFile.nFileOffset)) {
        ShowError(kOpenError);
        return;
    }
    FillTrailerList(true);
    ShowDiscStates();
}

void CloseSourceDisc() {
    g_discs.CloseSourceDisc();
    SendMessageA(g_ui.controls.sourceList, LB_RESETCONTENT, 0, 0);
    ShowDiscStates();
}

void StartNewDisc() {
    if (!AskForFolder(g_ui.browseFolder, g_ui.path)) {
        return;
    }
    if (!g_discs.OpenDestinationDisc(true, g_ui.path, 0)) {
        ShowError(kOpenError);
        return;
    }
    ShowDiscStates();
}

void ContinueDisc() {
    if (!AskForFile(g_ui.openFile)) {
        return;
    }
    if (!g_discs.OpenDestinationDisc(false, g_ui.path, g_ui.openFile.nFileOffset)) {
        ShowError(kOpenError);
        return;
    }
    ShowDiscStates();
    FillTrailerList(false);
}

// Copies every selected trailer that the destination list box does not show yet.
void Add() {
    if (!g_discs.IsSourceOpen() || !g_discs.IsDestinationOpen()) {
        ShowError(kProgramError);
        return;
    }
    const MainControls& c = g_ui.controls;
    OpenProgressDialog();
    for (int32_t i = 0; i < g_discs.SourceCount(); ++i) {
        if (SendMessageA(c.sourceList, LB_GETSEL, static_cast<WPARAM>(i), 0) <= 0) {
            continue;
        }
        SendMessageA(c.sourceList, LB_GETTEXT, static_cast<WPARAM>(i),
                     reinterpret_cast<LPARAM>(g_ui.listText));
        // Letter case is ignored: a line that differs only in case is the same trailer.
        if (SendMessageA(c.destinationList, LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                         reinterpret_cast<LPARAM>(g_ui.listText)) != LB_ERR) {
            continue;
        }
        CloseProgressDialog();
        OpenProgressDialog();
        const bool full = g_discs.DestinationCount() >= kMaxTrailers;
        if (!g_discs.AddTrailer(i)) {
            CloseProgressDialog();
            ShowError(full ? kDiscFull : kWriteError);
            return;
        }
        SendMessageA(c.destinationList, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(g_ui.listText));
    }
    CloseProgressDialog();
}

void CloseDestinationDisc() {
    g_discs.CloseDestinationDisc();
    SendMessageA(g_ui.controls.destinationList, LB_RESETCONTENT, 0, 0);
    ShowDiscStates();
}

} // namespace

void FillTrailerList(bool source) {
    const HWND list = source ? g_ui.controls.sourceList : g_ui.controls.destinationList;
    const int32_t count = source ? g_discs.SourceCount() : g_discs.DestinationCount();
    for (int32_t i = 0; i < count; ++i) {
        BuildListLine(source ? g_discs.SourceTrailer(i) : g_discs.DestinationTrailer(i));
        SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(g_ui.listText));
    }
}

void HandleCommand(LPARAM control) {
    // Every command whose button sent the message runs, in this order.
    const HWND sender = reinterpret_cast<HWND>(control);
    const MainControls& c = g_ui.controls;
    if (sender == c.openDisc) {
        OpenDisc();
    }
    if (sender == c.sourceCloseDisc) {
        CloseSourceDisc();
    }
    if (sender == c.startNewDisc) {
        StartNewDisc();
    }
    if (sender == c.continueDisc) {
        ContinueDisc();
    }
    if (sender == c.add) {
        Add();
    }
    if (sender == c.destinationCloseDisc) {
        CloseDestinationDisc();
    }
}
