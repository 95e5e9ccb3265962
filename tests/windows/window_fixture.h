// Creates the real main window for each test, with scripted dialogs, and ends both discs after.
#pragma once

#include <gtest/gtest.h>

#include "main_window.h"
#include "progress_dialog.h"
#include "scripted_interface.h"
#include "ui_state.h"

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        static const bool registered = RegisterMainWindowClass(GetModuleHandleA(nullptr));
        ASSERT_TRUE(registered);
        g_script = Script{};
        window = CreateMainWindow();
        ASSERT_NE(window, nullptr);
    }
    void TearDown() override {
        g_discs.CloseDestinationDisc();
        g_discs.CloseSourceDisc();
        if (window != nullptr) {
            DestroyWindow(window);
        }
        MSG message; // the quit message the window posted, and anything else left
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        }
    }

    HWND window = nullptr;
};
