#include "console_output.h"

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cstdlib>

namespace {

UINT g_consoleCodePage = 0; // the console's own, to put back; 0 while unchanged

void PutConsoleCodePageBack() {
    if (g_consoleCodePage != 0) {
        SetConsoleOutputCP(g_consoleCodePage);
        g_consoleCodePage = 0;
    }
}

// Ctrl+C and the like end the process without running atexit's functions.
BOOL WINAPI OnConsoleEvent(DWORD) {
    PutConsoleCodePageBack();
    return FALSE; // and let Windows end the program as it would
}

bool IsConsole(DWORD handle) {
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(handle), &mode) != 0;
}

} // namespace

void PrintInProgramCodePage() {
    if (!IsConsole(STD_OUTPUT_HANDLE) && !IsConsole(STD_ERROR_HANDLE)) {
        return;
    }
    const UINT console = GetConsoleOutputCP();
    if (console == 0 || console == GetACP() || SetConsoleOutputCP(GetACP()) == 0) {
        return;
    }
    g_consoleCodePage = console;
    std::atexit(PutConsoleCodePageBack);
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

#else

void PrintInProgramCodePage() {}

#endif
