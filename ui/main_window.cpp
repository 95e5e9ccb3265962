// Start-up, the main window with its picture and controls, and the message loop.
#include "main_window.h"

#include <cstddef>

#include "commands.h"
#include "resource.h"
#include "ui_state.h"

UiState g_ui;
// Destroyed at process exit, after WinMain has returned: that closes both discs and writes
// the index of a destination that is still open.
DiscPair g_discs;

const char kMainClassName[] = "KOV";
const char kMainWindowTitle[] = "KOV Extractor v1.2";

namespace {

const int kPictureWidth = 740;
const int kPictureHeight = 480;

#ifndef _WIN64
// OPENFILENAME_SIZE_VERSION_400A, which is not a constant expression: the open-file settings
// end at lpTemplateName, 76 bytes on 32-bit Windows.
static_assert(offsetof(OPENFILENAMEA, lpTemplateName) + sizeof(LPCSTR) == 76,
              "the open-file settings' size");
#endif

const char kOpenFileFilter[] = "KOV\0R14*.TXT\0All Files\0*.*\0";
const char kBrowseTitle[] = "Select Folder to Save KOV info";

const DWORD kButtonStyle = WS_CHILD | WS_VISIBLE;
const DWORD kListStyle =
    WS_CHILD | WS_VISIBLE | WS_VSCROLL | LBS_HASSTRINGS | LBS_EXTENDEDSEL | LBS_DISABLENOSCROLL;

struct ControlLayout {
    HWND MainControls::*handle;
    const char* className;
    const char* text;
    int x;
    int y;
    int width;
    int height;
    DWORD style;
};

// In the order they are created.
const ControlLayout kControls[] = {
    {&MainControls::openDisc, "BUTTON", "Open Disc", 105, 370, 130, 30, kButtonStyle},
    {&MainControls::sourceCloseDisc, "BUTTON", "Close Disc", 105, 420, 130, 30,
     kButtonStyle | WS_DISABLED},
    {&MainControls::startNewDisc, "BUTTON", "Start New Disc", 425, 370, 130, 30, kButtonStyle},
    {&MainControls::continueDisc, "BUTTON", "Continue Disc", 585, 370, 130, 30, kButtonStyle},
    {&MainControls::add, "BUTTON", "Add -->", 320, 180, 100, 30, kButtonStyle | WS_DISABLED},
    {&MainControls::destinationCloseDisc, "BUTTON", "Close Disc", 505, 420, 130, 30,
     kButtonStyle | WS_DISABLED},
    {&MainControls::sourceList, "LISTBOX", nullptr, 40, 60, 260, 300, kListStyle},
    {&MainControls::destinationList, "LISTBOX", nullptr, 440, 60, 260, 300, kListStyle},
};

void FillDialogSettings(HWND window) {
    OPENFILENAMEA& open = g_ui.openFile;
    open = OPENFILENAMEA{};
    open.lStructSize = OPENFILENAME_SIZE_VERSION_400A;
    open.hwndOwner = window;
    open.hInstance = g_ui.instance;
    open.lpstrFilter = kOpenFileFilter;
    open.nFilterIndex = 0;
    open.lpstrFile = g_ui.path;
    open.nMaxFile = sizeof g_ui.path;
    open.Flags = OFN_CREATEPROMPT | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST;

    BROWSEINFOA& browse = g_ui.browseFolder;
    browse = BROWSEINFOA{};
    browse.hwndOwner = window;
    browse.pszDisplayName = g_ui.path;
    browse.lpszTitle = kBrowseTitle;
    browse.ulFlags = BIF_RETURNONLYFSDIRS;
}

LRESULT OnCreate(HWND window) {
    g_ui.mainWindow = window;
    g_ui.background =
        static_cast<HBITMAP>(LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDB_BACKGROUND),
                                        IMAGE_BITMAP, 0, 0, LR_DEFAULTSIZE));
    g_ui.pictureDc = CreateCompatibleDC(nullptr);
    g_ui.keptBitmap = SelectObject(g_ui.pictureDc, g_ui.background);

    FillDialogSettings(window);

    for (const ControlLayout& control : kControls) {
        g_ui.controls.*control.handle =
            CreateWindowExA(0, control.className, control.text, control.style, control.x, control.y,
                            control.width, control.height, window, nullptr, g_ui.instance, nullptr);
    }
    return 0;
}

LRESULT OnPaint(HWND window) {
    PAINTSTRUCT paint;
    const HDC dc = BeginPaint(window, &paint);
    BitBlt(dc, 0, 0, kPictureWidth, kPictureHeight, g_ui.pictureDc, 0, 0, SRCCOPY);
    EndPaint(window, &paint);
    return 0;
}

LRESULT OnDestroy() {
    SelectObject(g_ui.pictureDc, g_ui.keptBitmap);
    DeleteDC(g_ui.pictureDc);
    DeleteObject(g_ui.background);
    PostQuitMessage(0);
    return 0;
}

} // namespace

bool RegisterMainWindowClass(HINSTANCE instance) {
    g_ui.instance = instance;
    WNDCLASSA windowClass{};
    windowClass.style = CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS | CS_OWNDC;
    windowClass.lpfnWndProc = MainWindowProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = static_cast<HICON>(
        LoadImageA(instance, MAKEINTRESOURCEA(IDI_PROGRAM), IMAGE_ICON, 0, 0, LR_DEFAULTSIZE));
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(DKGRAY_BRUSH));
    windowClass.lpszClassName = kMainClassName;
    return RegisterClassA(&windowClass) != 0;
}

HWND CreateMainWindow() {
    // A fixed window: no sizing border and no maximise box.
    return CreateWindowExA(0, kMainClassName, kMainWindowTitle,
                           WS_VISIBLE | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, 20, 20, 740, 500,
                           nullptr, nullptr, g_ui.instance, nullptr);
}

int RunMessageLoop() {
    // Takes every waiting message; with none left, sleeps until the next one arrives, so an
    // idle window costs no processor time.
    MSG message;
    for (;;) {
        if (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) {
                return static_cast<int>(message.wParam);
            }
            TranslateMessage(&message);
            DispatchMessageA(&message);
        } else {
            WaitMessage();
        }
    }
}

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE:
        return OnCreate(window);
    case WM_PAINT:
        return OnPaint(window);
    case WM_DESTROY:
        return OnDestroy();
    case WM_COMMAND:
        HandleCommand(lParam);
        return 0;
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}

// The command line and the show command are not used: the window shows itself.
int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    if (!RegisterMainWindowClass(instance)) {
        return 0;
    }
    if (CreateMainWindow() == nullptr) {
        return 0;
    }
    return RunMessageLoop();
}
