// Stands in for the real dialogs and message boxes, so the tests need no person.
#include "scripted_interface.h"

#include <cstring>

#include "windows_interface.h"

Script g_script;

bool AskForFile(OPENFILENAMEA& settings) {
    ++g_script.fileDialogs;
    if (g_script.files.empty()) {
        return false;
    }
    const std::string file = g_script.files.front();
    g_script.files.pop_front();
    std::strncpy(settings.lpstrFile, file.c_str(), settings.nMaxFile - 1);
    settings.lpstrFile[settings.nMaxFile - 1] = 0;
    const size_t slash = file.find_last_of("\\/");
    settings.nFileOffset = static_cast<WORD>(slash == std::string::npos ? 0 : slash + 1);
    return true;
}

bool AskForFolder(BROWSEINFOA&, char* path) {
    ++g_script.folderBrowsers;
    if (g_script.folders.empty()) {
        return false;
    }
    std::strcpy(path, g_script.folders.front().c_str());
    g_script.folders.pop_front();
    return true;
}

void ShowMessage(HWND owner, const char* text, const char* caption) {
    g_script.messages.push_back({owner, text, caption});
}
