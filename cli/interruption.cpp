#include "interruption.h"

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

namespace {

volatile LONG g_interrupted = 0;

// Runs on a thread of its own. Returning FALSE hands the event on to the next handler, and last
// to the system's, which ends the program.
BOOL WINAPI OnConsoleEvent(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) {
        return FALSE;
    }
    return InterlockedExchange(&g_interrupted, 1) == 0 ? TRUE : FALSE;
}

} // namespace

void CatchInterruptions() {
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

bool Interrupted() {
    return InterlockedCompareExchange(&g_interrupted, 0, 0) != 0;
}

#else
#include <csignal>

namespace {

volatile std::sig_atomic_t g_interrupted = 0;

// The second signal gets the default action, which ends the program.
extern "C" void OnSignal(int signal) {
    if (g_interrupted != 0) {
        std::signal(signal, SIG_DFL);
        std::raise(signal);
        return;
    }
    g_interrupted = 1;
}

} // namespace

// glibc's signal() restarts the calls a signal interrupts, so the copy under way goes on.
void CatchInterruptions() {
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
}

bool Interrupted() {
    return g_interrupted != 0;
}

#endif
