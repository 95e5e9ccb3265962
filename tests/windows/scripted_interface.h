// Scripted answers for the calls that wait for a person, and a record of what was shown.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include <windows.h>

struct ShownMessage {
    HWND owner;
    std::string text;
    std::string caption;
};

struct Script {
    std::deque<std::string> files;   // chosen by the next open-file dialogs; none left: cancel
    std::deque<std::string> folders; // likewise for the folder browser
    int fileDialogs = 0;
    int folderBrowsers = 0;
    std::vector<ShownMessage> messages;
};

extern Script g_script;
