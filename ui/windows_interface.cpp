#include "windows_interface.h"

bool AskForFile(OPENFILENAMEA& settings) {
    return GetOpenFileNameA(&settings) != 0;
}

bool AskForFolder(BROWSEINFOA& settings, char* path) {
    // The folder browser needs COM on this thread; it stays initialised for the whole run.
    static bool comReady = false;
    if (!comReady) {
        comReady = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    }
    PIDLIST_ABSOLUTE item = SHBrowseForFolderA(&settings);
    if (item == nullptr) {
        return false;
    }
    const bool named = SHGetPathFromIDListA(item, path) != FALSE;
    CoTaskMemFree(item);
    return named;
}

void ShowMessage(HWND owner, const char* text, const char* caption) {
    MessageBoxA(owner, text, caption, MB_OK);
}
