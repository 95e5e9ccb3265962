// The real main window, created through the start-up functions, and the compiled resources.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "main_window.h"
#include "resource.h"
#include "ui_state.h"
#include "window_fixture.h"

namespace {

std::string ClassOf(HWND window) {
    char name[64] = {};
    GetClassNameA(window, name, sizeof name);
    return name;
}

std::string TextOf(HWND window) {
    char text[256] = {};
    GetWindowTextA(window, text, sizeof text);
    return text;
}

RECT ClientRect(HWND control) {
    RECT rect;
    GetWindowRect(control, &rect);
    MapWindowPoints(HWND_DESKTOP, GetParent(control), reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

// The processor time, user and system, the calling thread has used so far, in 100 ns units.
std::uint64_t ThreadTime() {
    FILETIME created, exited, system, user;
    GetThreadTimes(GetCurrentThread(), &created, &exited, &system, &user);
    const auto units = [](const FILETIME& time) {
        return (std::uint64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime;
    };
    return units(system) + units(user);
}

// Reads a dialog template's 16-bit words, strings and aligned items in order.
struct TemplateReader {
    const BYTE* at;
    WORD Word() {
        WORD value;
        std::memcpy(&value, at, sizeof value);
        at += sizeof value;
        return value;
    }
    DWORD Dword() {
        DWORD value;
        std::memcpy(&value, at, sizeof value);
        at += sizeof value;
        return value;
    }
    std::string String() {
        std::string text;
        for (WORD c = Word(); c != 0; c = Word()) {
            text += static_cast<char>(c);
        }
        return text;
    }
    void AlignToDword(const BYTE* base) {
        while ((at - base) % 4 != 0) {
            ++at;
        }
    }
};

} // namespace

TEST_F(MainWindowTest, ClassAndWindowAreAsDesigned) {
    WNDCLASSA windowClass{};
    ASSERT_TRUE(GetClassInfoA(g_ui.instance, kMainClassName, &windowClass));
    EXPECT_EQ(windowClass.style, UINT(CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS | CS_OWNDC));
    EXPECT_EQ(windowClass.lpfnWndProc, MainWindowProc);
    EXPECT_EQ(windowClass.cbClsExtra, 0);
    EXPECT_EQ(windowClass.cbWndExtra, 0);
    EXPECT_NE(windowClass.hIcon, nullptr);
    EXPECT_EQ(windowClass.hCursor, LoadCursorA(nullptr, IDC_ARROW));
    EXPECT_EQ(windowClass.hbrBackground, GetStockObject(DKGRAY_BRUSH));
    EXPECT_EQ(windowClass.lpszMenuName, nullptr);

    EXPECT_EQ(TextOf(window), "KOV Extractor v1.2");
    RECT rect;
    GetWindowRect(window, &rect);
    EXPECT_EQ(rect.left, 20);
    EXPECT_EQ(rect.top, 20);
    EXPECT_EQ(rect.right - rect.left, 740);
    EXPECT_EQ(rect.bottom - rect.top, 500);
    // Windows adds WS_CLIPSIBLINGS to every top-level window; nothing else may be set.
    const LONG_PTR style = GetWindowLongPtrA(window, GWL_STYLE) & ~LONG_PTR(WS_CLIPSIBLINGS);
    EXPECT_EQ(style, LONG_PTR(WS_VISIBLE | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX));
    EXPECT_EQ(GetMenu(window), nullptr);
}

TEST_F(MainWindowTest, ControlsStartInTheirPlacesAndStates) {
    struct Expected {
        const char* className;
        const char* text;
        RECT rect;
        LONG style;
        bool enabled;
    };
    const LONG button = WS_CHILD | WS_VISIBLE;
    const LONG list =
        WS_CHILD | WS_VISIBLE | WS_VSCROLL | LBS_HASSTRINGS | LBS_EXTENDEDSEL | LBS_DISABLENOSCROLL;
    const std::vector<Expected> expected = {
        {"Button", "Open Disc", {105, 370, 235, 400}, button, true},
        {"Button", "Close Disc", {105, 420, 235, 450}, button | WS_DISABLED, false},
        {"Button", "Start New Disc", {425, 370, 555, 400}, button, true},
        {"Button", "Continue Disc", {585, 370, 715, 400}, button, true},
        {"Button", "Add -->", {320, 180, 420, 210}, button | WS_DISABLED, false},
        {"Button", "Close Disc", {505, 420, 635, 450}, button | WS_DISABLED, false},
        {"ListBox", "", {40, 60, 300, 360}, list, true},
        {"ListBox", "", {440, 60, 700, 360}, list, true},
    };
    const HWND handles[] = {g_ui.controls.openDisc,     g_ui.controls.sourceCloseDisc,
                            g_ui.controls.startNewDisc, g_ui.controls.continueDisc,
                            g_ui.controls.add,          g_ui.controls.destinationCloseDisc,
                            g_ui.controls.sourceList,   g_ui.controls.destinationList};
    // Children come in the order they were created.
    HWND child = GetWindow(window, GW_CHILD);
    for (size_t i = 0; i < expected.size(); ++i, child = GetWindow(child, GW_HWNDNEXT)) {
        SCOPED_TRACE(i);
        ASSERT_EQ(child, handles[i]);
        EXPECT_EQ(ClassOf(child), expected[i].className);
        EXPECT_EQ(TextOf(child), expected[i].text);
        EXPECT_EQ(GetDlgCtrlID(child), 0);
        EXPECT_EQ(GetWindowLongPtrA(child, GWL_EXSTYLE), 0);
        const LONG style = static_cast<LONG>(GetWindowLongPtrA(child, GWL_STYLE));
        EXPECT_EQ(style, expected[i].style);
        EXPECT_EQ(IsWindowEnabled(child) != FALSE, expected[i].enabled);
        const RECT rect = ClientRect(child);
        EXPECT_EQ(rect.left, expected[i].rect.left);
        EXPECT_EQ(rect.top, expected[i].rect.top);
        EXPECT_EQ(rect.right, expected[i].rect.right);
        // A list box's height is rounded down to whole lines.
        EXPECT_LE(rect.bottom, expected[i].rect.bottom);
        EXPECT_GT(rect.bottom, expected[i].rect.bottom - 20);
        if (expected[i].className == std::string("ListBox")) {
            EXPECT_EQ(SendMessageA(child, LB_GETCOUNT, 0, 0), 0);
        }
    }
    EXPECT_EQ(child, nullptr);
}

TEST_F(MainWindowTest, PictureAndDialogSettingsAreReady) {
    ASSERT_NE(g_ui.background, nullptr);
    EXPECT_EQ(GetCurrentObject(g_ui.pictureDc, OBJ_BITMAP), g_ui.background);
    BITMAP picture;
    ASSERT_TRUE(GetObjectA(g_ui.background, sizeof picture, &picture));
    EXPECT_EQ(picture.bmWidth, 740);
    EXPECT_EQ(picture.bmHeight, 480);

    const OPENFILENAMEA& open = g_ui.openFile;
    EXPECT_EQ(open.lStructSize, DWORD(OPENFILENAME_SIZE_VERSION_400A));
    EXPECT_EQ(open.hwndOwner, window);
    EXPECT_EQ(std::string(open.lpstrFilter, 28),
              std::string("KOV\0R14*.TXT\0All Files\0*.*\0\0", 28));
    EXPECT_EQ(open.nFilterIndex, 0u);
    EXPECT_EQ(open.lpstrFile, g_ui.path);
    EXPECT_EQ(open.nMaxFile, 512u);
    EXPECT_EQ(open.Flags, DWORD(OFN_CREATEPROMPT | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST));
    EXPECT_EQ(open.lpstrTitle, nullptr);
    EXPECT_EQ(open.lpstrInitialDir, nullptr);

    const BROWSEINFOA& browse = g_ui.browseFolder;
    EXPECT_EQ(browse.hwndOwner, window);
    EXPECT_EQ(browse.pidlRoot, nullptr);
    EXPECT_EQ(browse.pszDisplayName, g_ui.path);
    EXPECT_STREQ(browse.lpszTitle, "Select Folder to Save KOV info");
    EXPECT_EQ(browse.ulFlags, UINT(BIF_RETURNONLYFSDIRS));
    EXPECT_EQ(browse.lpfn, nullptr);
}

TEST_F(MainWindowTest, ClosingTheWindowEndsTheLoopWithZero) {
    PostMessageA(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(RunMessageLoop(), 0);
    EXPECT_FALSE(IsWindow(window));
    window = nullptr;
}

TEST_F(MainWindowTest, TheLoopSleepsUntilTheNextMessage) {
    // For half a second no message comes; then another thread closes the window.
    std::thread closer([this] {
        Sleep(500);
        PostMessageA(window, WM_CLOSE, 0, 0);
    });
    const std::uint64_t before = ThreadTime();
    EXPECT_EQ(RunMessageLoop(), 0);
    const std::uint64_t used = ThreadTime() - before;
    closer.join();
    EXPECT_LT(used, 50u * 10000) << "the loop used " << used / 10000 << " ms of 500";
    window = nullptr;
}

TEST(ProgressTemplate, IsAPlainDialogWithTwoTexts) {
    const HRSRC found = FindResourceA(nullptr, MAKEINTRESOURCEA(IDD_PROGRESS), RT_DIALOG);
    ASSERT_NE(found, nullptr);
    const BYTE* base = static_cast<const BYTE*>(LockResource(LoadResource(nullptr, found)));
    TemplateReader reader{base};
    EXPECT_EQ(reader.Dword(), DWORD(WS_VISIBLE | WS_CAPTION | DS_MODALFRAME | DS_SETFONT));
    EXPECT_EQ(reader.Dword(), 0u); // no extended style, and not an extended template
    EXPECT_EQ(reader.Word(), 2);   // items
    const WORD frame[] = {100, 100, 148, 50};
    for (WORD value : frame) {
        EXPECT_EQ(reader.Word(), value);
    }
    EXPECT_EQ(reader.Word(), 0); // no menu
    EXPECT_EQ(reader.Word(), 0); // the standard dialog class
    EXPECT_EQ(reader.String(), "Trailer copy progress");
    EXPECT_EQ(reader.Word(), 14);
    EXPECT_EQ(reader.String(), "System");

    struct Item {
        const char* text;
        WORD id;
        WORD x, y, width, height;
    };
    const Item items[] = {{"Coping trailer : ", 0xFFFF, 4, 4, 71, 8},
                          {"Please wait.", 0xFFFE, 90, 40, 59, 11}};
    for (const Item& item : items) {
        SCOPED_TRACE(item.text);
        reader.AlignToDword(base);
        EXPECT_EQ(reader.Dword(), DWORD(WS_CHILD | WS_VISIBLE | WS_GROUP | SS_LEFT));
        EXPECT_EQ(reader.Dword(), 0u);
        const WORD frame[] = {item.x, item.y, item.width, item.height};
        for (WORD value : frame) {
            EXPECT_EQ(reader.Word(), value);
        }
        EXPECT_EQ(reader.Word(), item.id);
        EXPECT_EQ(reader.Word(), 0xFFFF); // a predefined class:
        EXPECT_EQ(reader.Word(), 0x0082); // static
        EXPECT_EQ(reader.String(), item.text);
        EXPECT_EQ(reader.Word(), 0); // no creation data
    }
}
