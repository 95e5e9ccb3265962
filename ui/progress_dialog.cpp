#include "progress_dialog.h"

#include "resource.h"
#include "shown_names.h"
#include "ui_state.h"

INT_PTR CALLBACK ProgressDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        return TRUE;
    case WM_PAINT: {
        PAINTSTRUCT paint;
        const HDC dc = BeginPaint(dialog, &paint);
        RECT client;
        GetClientRect(dialog, &client);
        SetBkColor(dc, RGB(192, 192, 192));
        SetTextColor(dc, RGB(0, 0, 0));
        // A list line starts with the blank-padded name, drawn as it stands, so an ampersand in
        // it marks a mnemonic.
        DrawTextA(dc, g_ui.listText, ShownNameLength(g_ui.listText), &client,
                  DT_CENTER | DT_VCENTER | DT_SINGLELINE);
        EndPaint(dialog, &paint);
        return TRUE;
    }
    case WM_COMMAND:
        if (wParam == IDOK) {
            return TRUE;
        }
        if (wParam == IDCANCEL) {
            EndDialog(dialog, 0);
            return TRUE;
        }
        return FALSE;
    default:
        return FALSE;
    }
}

void OpenProgressDialog() {
    g_ui.progressDialog = CreateDialogParamA(g_ui.instance, MAKEINTRESOURCEA(IDD_PROGRESS),
                                             g_ui.mainWindow, ProgressDialogProc, 0);
    // No messages are handled while a trailer is copied, so paint the name now. Wine puts what
    // a window painted on the screen only when its thread waits; this wait is for nothing (no
    // handle, no kind of input, no time) and, unlike looking at the queue, it delivers no
    // message that another thread or process has sent meanwhile, so no other command can run
    // inside this one. On Windows painting reaches the screen at once and the call does nothing.
    if (g_ui.progressDialog != nullptr) {
        UpdateWindow(g_ui.progressDialog);
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 0, 0);
    }
}

void CloseProgressDialog() {
    if (g_ui.progressDialog == nullptr) {
        return;
    }
    SendMessageA(g_ui.progressDialog, WM_COMMAND, IDCANCEL, 0);
    // An ended dialog is never shown again, so it is destroyed rather than kept hidden.
    DestroyWindow(g_ui.progressDialog);
    g_ui.progressDialog = nullptr;
}
