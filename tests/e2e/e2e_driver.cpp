// Works the real KOVExtractor.exe as a person would: its buttons, its list boxes, the real
// open-file dialog and the real folder browser. It checks what the window shows and every byte
// of the destination disc it writes, and saves screenshots on the way.
//
//     e2e_driver DISCS SHOTS
//     e2e_driver --start-add DISCS | --finish-add DISCS
//     e2e_driver --continue-refused DISC | --continue DISC
//     e2e_driver --named-folders DISCS
//
// DISCS (a Windows path) holds two source discs written by make_sample_disc: `source`, eight
// short trailers, and `long`, one long trailer whose copy keeps the progress dialog up for a
// while. The driver renames the long trailer and puts a short one before it, prepares a
// destination disc in DISCS\destination and an older one in DISCS\older, works the program,
// which must already be running in the same Wine desktop, and ends it by closing its window.
// SHOTS receives main_window.bmp and progress_dialog.bmp. Exit status 0 when all matched. The
// other modes work a program just started while another program writes or wrote a disc: see
// StartAdd, FinishAdd, ContinueRefused and ContinueOnceFree; or, with NamedFolders, discs in
// folders named in other scripts. The driver, as the program, takes UTF-8 as its code page (by
// its manifest), so its names are UTF-8 throughout.
#include <windows.h>

#include <commctrl.h>
#include <dlgs.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace {

const long long kUnit = 3675; // bytes of audio per index unit
const long long kUnitsPerSecond = 30;
const DWORD kPatienceMs = 60000; // the longest wait for the program to do anything
const char kMainClass[] = "KOV";
const char kMainTitle[] = "KOV Extractor v1.2";
const char kDialogClass[] = "#32770";
const char kProgressTitle[] = "Trailer copy progress";
const char kErrorTitle[] = "Error";
const char kOpenError[] = "Error opening file.";
const char kBrowseText[] = "Select Folder to Save KOV info";

struct Trailer {
    std::string name;
    long long serial;
    long long startUnits;
    long long endUnits;
    long long offset;
    std::string audio; // what a copy takes: END units from OFFSET + START units of its disc
};

// ---- Reports and files ----

[[noreturn]] void Fail(const std::string& message) {
    std::fprintf(stderr, "e2e: FAILED: %s\n", message.c_str());
    std::exit(1);
}

void Check(bool condition, const std::string& message) {
    if (!condition) {
        Fail(message);
    }
}

void Step(const std::string& text) {
    std::printf("e2e: %s\n", text.c_str());
    std::fflush(stdout);
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    Check(in.good(), "cannot read " + path);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool Exists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    Check(out.good(), "cannot write " + path);
}

// Index text with its control characters spelled out, for failure messages.
std::string Visible(const std::string& text) {
    std::string shown;
    for (const char c : text) {
        shown += c == '\t' ? "\\t" : c == '\r' ? "\\r" : c == '\n' ? "\\n\n" : std::string(1, c);
    }
    return shown;
}

// Compares the file with `expected` a block at a time: the 32-bit driver has no room for a
// second copy of a long trailer's audio.
void CheckFile(const std::string& path, const std::string& expected) {
    std::ifstream in(path, std::ios::binary);
    Check(in.good(), "cannot read " + path);
    std::string actual; // the file's bytes, kept only while they are few enough to show
    std::size_t size = 0;
    std::size_t firstDifference = std::string::npos;
    char block[65536];
    while (in.read(block, sizeof block) || in.gcount() > 0) {
        const std::size_t count = static_cast<std::size_t>(in.gcount());
        for (std::size_t i = 0; i < count && firstDifference == std::string::npos; ++i) {
            if (size + i >= expected.size() || block[i] != expected[size + i]) {
                firstDifference = size + i;
            }
        }
        if (size < 4096) {
            actual.append(block, count);
        }
        size += count;
    }
    if (firstDifference == std::string::npos && size != expected.size()) {
        firstDifference = size;
    }
    if (firstDifference == std::string::npos) {
        return;
    }
    std::string message = path + " holds " + std::to_string(size) + " bytes, expected " +
                          std::to_string(expected.size()) + "; they first differ at byte " +
                          std::to_string(firstDifference);
    if (expected.size() < 4096 && size < 4096) {
        message += "\nexpected:\n" + Visible(expected) + "\nactual:\n" + Visible(actual);
    }
    Fail(message);
}

// ---- Discs, worked out independently of the program ----

// Reads a source disc: each index record (blanks and TABs between its columns; ';' starts a
// comment line; 0x1A ends the file), with the audio block a copy of it takes unless `withAudio`
// is false.
std::vector<Trailer> ReadSourceDisc(const std::string& folder, bool withAudio = true) {
    std::ifstream audio(folder + "\\R14T5.AUD", std::ios::binary);
    std::istringstream index(ReadFile(folder + "\\R14TRLR.TXT"));
    std::vector<Trailer> trailers;
    for (std::string line; std::getline(index, line);) {
        if (line.empty() || line[0] == ';' || line[0] == '\x1A') {
            continue;
        }
        std::istringstream columns(line);
        Trailer t;
        Check(static_cast<bool>(columns >> t.name >> t.serial >> t.startUnits >> t.endUnits >>
                                t.offset),
              "unreadable record in " + folder + ": " + line);
        if (withAudio) {
            t.audio.resize(static_cast<std::size_t>(t.endUnits * kUnit));
            audio.seekg(t.offset + t.startUnits * kUnit);
            audio.read(&t.audio[0], static_cast<std::streamsize>(t.audio.size()));
            Check(audio.good(), "cannot read the audio of " + t.name + " in " + folder);
        }
        trailers.push_back(t);
    }
    return trailers;
}

// A trailer of the destination's own, with a simple byte pattern for audio.
Trailer OwnTrailer(const std::string& name, long long serial, long long endUnits) {
    Trailer t{name, serial, 0, endUnits, 0, std::string(endUnits * kUnit, '\0')};
    for (std::size_t i = 0; i < t.audio.size(); ++i) {
        t.audio[i] = static_cast<char>((i * 31 + serial) & 0xFF);
    }
    return t;
}

// A destination's audio file: the 92-byte header, then every trailer's block in order.
std::string AudioBytes(const std::vector<Trailer>& trailers) {
    std::size_t size = 92;
    for (const Trailer& t : trailers) {
        size += t.audio.size();
    }
    std::string bytes;
    bytes.reserve(size);
    bytes.append("Trailers Reel 14");
    bytes.append(44, '\0');
    bytes.append("english\0none", 12);
    const unsigned char tail[] = {0, 0, 0, 1, 0, 0, 0x0E, 0, 0x15, 4,
                                  5, 0, 0, 6, 0, 0, 0x10, 4, 0x20, 0};
    bytes.append(reinterpret_cast<const char*>(tail), sizeof tail);
    for (const Trailer& t : trailers) {
        bytes += t.audio;
    }
    return bytes;
}

// A destination's index: two comment lines, a record per trailer whose OFFSET is where its
// block starts in the audio file, and 0x1A. Names of 8 characters take one TAB, shorter two.
std::string IndexBytes(const std::vector<Trailer>& trailers) {
    std::string text = ";NAME           SERIAL  START   END     OFFSET\r\n"
                       ";----           ------  -----   ---     ------\r\n";
    long long offset = 92;
    for (const Trailer& t : trailers) {
        text += t.name + (t.name.size() < 8 ? "\t\t" : "\t") + std::to_string(t.serial) + "\t" +
                std::to_string(t.startUnits) + "\t" + std::to_string(t.endUnits) + "\t" +
                std::to_string(offset) + "\r\n";
        offset += t.endUnits * kUnit;
    }
    return text + '\x1A';
}

// The line a list box shows for a trailer: the name padded to 8, then whole seconds.
std::string ListLine(const Trailer& t) {
    std::string name = t.name;
    name.resize(8, ' ');
    return name + "      length : " + std::to_string(t.endUnits / kUnitsPerSecond) + " seconds";
}

// ---- The program's windows ----

struct Program {
    HWND main;
    HANDLE process;
    HWND openDisc, sourceClose, startNewDisc, continueDisc, add, destinationClose;
    HWND sourceList, destinationList;
};
Program app;

std::string TextOf(HWND window) {
    char text[512] = {};
    GetWindowTextA(window, text, sizeof text);
    return text;
}

std::string ClassOf(HWND window) {
    char name[64] = {};
    GetClassNameA(window, name, sizeof name);
    return name;
}

BOOL CALLBACK CollectChild(HWND child, LPARAM list) {
    reinterpret_cast<std::vector<HWND>*>(list)->push_back(child);
    return TRUE;
}

// Every descendant window, in the order the children were created.
std::vector<HWND> Children(HWND parent) {
    std::vector<HWND> children;
    EnumChildWindows(parent, CollectChild, reinterpret_cast<LPARAM>(&children));
    return children;
}

// The visible dialog the main window owns, other than the program's own progress dialog and
// error box; nullptr if there is none.
BOOL CALLBACK CollectOwnedDialog(HWND window, LPARAM found) {
    if (GetWindow(window, GW_OWNER) == app.main && IsWindowVisible(window) &&
        ClassOf(window) == kDialogClass && TextOf(window) != kProgressTitle &&
        TextOf(window) != kErrorTitle) {
        *reinterpret_cast<HWND*>(found) = window;
        return FALSE;
    }
    return TRUE;
}

HWND OwnedDialog() {
    HWND found = nullptr;
    EnumWindows(CollectOwnedDialog, reinterpret_cast<LPARAM>(&found));
    return found;
}

// Polls until `done` holds; false if that takes too long. Fails at once if the program shows
// an error box or ends.
bool WaitFor(const std::function<bool()>& done, const std::string& what) {
    const DWORD start = GetTickCount();
    while (!done()) {
        if (const HWND box = FindWindowA(kDialogClass, kErrorTitle)) {
            std::string text;
            for (const HWND child : Children(box)) {
                text += " [" + TextOf(child) + "]";
            }
            Fail("the program shows an error box while waiting for " + what + ":" + text);
        }
        Check(app.process == nullptr || WaitForSingleObject(app.process, 0) == WAIT_TIMEOUT,
              "the program ended while waiting for " + what);
        if (GetTickCount() - start > kPatienceMs) {
            return false;
        }
        Sleep(10);
    }
    return true;
}

void WaitUntil(const std::function<bool()>& done, const std::string& what) {
    Check(WaitFor(done, what), "timed out waiting for " + what);
}

// The text of the error box `box`: its one static control with text.
std::string BoxText(HWND box) {
    std::string text;
    for (const HWND child : Children(box)) {
        if (ClassOf(child) == "Static" && !TextOf(child).empty()) {
            text = TextOf(child);
        }
    }
    return text;
}

// Waits for the program's error box, checks that it says `text`, presses OK and waits until it
// has closed. The box counts once it is visible: its text is set by then.
void AnswerErrorBox(const std::string& text, const std::string& when) {
    const DWORD start = GetTickCount();
    HWND box = nullptr;
    while ((box = FindWindowA(kDialogClass, kErrorTitle)) == nullptr || !IsWindowVisible(box)) {
        Check(GetTickCount() - start < kPatienceMs, "no error box " + when);
        Check(WaitForSingleObject(app.process, 0) == WAIT_TIMEOUT,
              "the program ended while waiting for the error box " + when);
        Sleep(10);
    }
    Check(BoxText(box) == text,
          "the error box " + when + " says '" + BoxText(box) + "', not '" + text + "'");
    Check(GetWindow(box, GW_OWNER) == app.main, "the error box " + when + " has another owner");
    PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(box, IDOK)));
    while (IsWindow(box)) {
        Check(GetTickCount() - start < 2 * kPatienceMs, "the error box " + when + " stays up");
        Sleep(10);
    }
}

// Sends a message and returns the answer, failing if none comes in time.
LRESULT Ask(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    DWORD_PTR result = 0;
    Check(SendMessageTimeoutW(window, message, wParam, lParam, SMTO_NORMAL, kPatienceMs, &result) !=
              0,
          "the program does not answer");
    return static_cast<LRESULT>(result);
}

// Clicks a button as its parent sees it: the program tells buttons apart by handle. Posted,
// not sent, since a command that opens a modal dialog would hold a sender until it closes.
void Press(HWND button) {
    PostMessageA(app.main, WM_COMMAND, MAKEWPARAM(0, BN_CLICKED), reinterpret_cast<LPARAM>(button));
}

// Finds the running program and its eight controls, which it creates in this order.
void FindProgram() {
    WaitUntil(
        [] {
            app.main = FindWindowA(kMainClass, kMainTitle);
            return app.main != nullptr && Children(app.main).size() >= 8;
        },
        "the main window and its controls");
    DWORD id = 0;
    GetWindowThreadProcessId(app.main, &id);
    app.process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id);
    Check(app.process != nullptr, "cannot watch the program's process");
    const std::vector<HWND> c = Children(app.main);
    const char* const expected[][2] = {{"Button", "Open Disc"},
                                       {"Button", "Close Disc"},
                                       {"Button", "Start New Disc"},
                                       {"Button", "Continue Disc"},
                                       {"Button", "Add -->"},
                                       {"Button", "Close Disc"},
                                       {"ListBox", ""},
                                       {"ListBox", ""}};
    Check(c.size() == 8, "the main window has " + std::to_string(c.size()) + " controls, not 8");
    for (std::size_t i = 0; i < c.size(); ++i) {
        Check(ClassOf(c[i]) == expected[i][0] && TextOf(c[i]) == expected[i][1],
              "control " + std::to_string(i) + " is " + ClassOf(c[i]) + " '" + TextOf(c[i]) + "'");
    }
    app = Program{app.main, app.process, c[0], c[1], c[2], c[3], c[4], c[5], c[6], c[7]};
}

// The six buttons' enabled states as 1 and 0, in the order the program creates them.
std::string ButtonStates() {
    std::string states;
    for (const HWND b : {app.openDisc, app.sourceClose, app.startNewDisc, app.continueDisc, app.add,
                         app.destinationClose}) {
        states += IsWindowEnabled(b) ? '1' : '0';
    }
    return states;
}

// Asked in UTF-16: under Wine, LB_GETTEXT hands another process UTF-16 text even when asked
// through SendMessageA.
std::vector<std::string> ListLines(HWND list) {
    std::vector<std::string> lines;
    const LRESULT count = Ask(list, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        wchar_t text[512] = {};
        Ask(list, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
        lines.emplace_back(text, text + wcslen(text)); // the lines are plain ASCII
    }
    return lines;
}

std::vector<std::string> ListLines(const std::vector<Trailer>& trailers) {
    std::vector<std::string> lines;
    for (const Trailer& t : trailers) {
        lines.push_back(ListLine(t));
    }
    return lines;
}

std::string Describe(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) {
        text += "\n    '" + line + "'";
    }
    return lines.empty() ? " (empty)" : text;
}

// Waits until the window shows these buttons enabled (see ButtonStates) and these list lines,
// with no progress dialog up. A command's last step makes that so, which makes this wait the
// sign that the command is done.
void ExpectWindow(const std::string& buttons, const std::vector<Trailer>& source,
                  const std::vector<Trailer>& destination, const std::string& when) {
    const std::vector<std::string> sourceLines = ListLines(source);
    const std::vector<std::string> destinationLines = ListLines(destination);
    const auto shows = [&] {
        return ButtonStates() == buttons && ListLines(app.sourceList) == sourceLines &&
               ListLines(app.destinationList) == destinationLines &&
               FindWindowA(kDialogClass, kProgressTitle) == nullptr;
    };
    if (!WaitFor(shows, "the window " + when)) {
        Fail("the window " + when + " shows buttons enabled " + ButtonStates() + " (expected " +
             buttons + "; Open Disc, Close Disc, Start New Disc, Continue Disc, Add, Close " +
             "Disc),\n  the source list:" + Describe(ListLines(app.sourceList)) +
             "\n  expected:" + Describe(sourceLines) +
             "\n  the destination list:" + Describe(ListLines(app.destinationList)) +
             "\n  expected:" + Describe(destinationLines) +
             (FindWindowA(kDialogClass, kProgressTitle) ? "\n  and the progress dialog" : ""));
    }
}

// A UTF-8 name in UTF-16.
std::wstring Wide(const std::string& text) {
    wchar_t wide[1024] = {};
    MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, wide, 1024);
    return wide;
}

// Presses a button that opens the open-file dialog, types `path` as the file name and
// presses Open; returns once the dialog has closed.
void ChooseFile(HWND button, const std::string& path) {
    Press(button);
    HWND dialog = nullptr;
    WaitUntil([&] { return (dialog = OwnedDialog()) != nullptr; }, "the open-file dialog");
    HWND name = nullptr;
    for (const HWND child : Children(dialog)) {
        const int id = GetDlgCtrlID(child);
        if (name == nullptr && (id == cmb13 || id == edt1)) {
            name = child;
        }
    }
    Check(name != nullptr, "the open-file dialog has no file name box");
    const std::wstring widePath = Wide(path);
    Ask(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(widePath.c_str()));
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDOK)));
    WaitUntil([&] { return !IsWindow(dialog); }, "the open-file dialog to close on " + path);
}

// What the screen shows within a rectangle: 24-bit pixels, rows bottom-up, as a BMP holds them.
struct Screenshot {
    RECT area; // in screen coordinates
    BITMAPINFOHEADER header;
    std::string pixels;

    const unsigned char* Pixel(LONG x, LONG y) const { // screen coordinates
        const LONG row = area.bottom - 1 - y;
        const LONG stride = (header.biWidth * 3 + 3) / 4 * 4;
        return reinterpret_cast<const unsigned char*>(pixels.data()) + row * stride +
               (x - area.left) * 3;
    }
};

Screenshot TakeScreenshot(HWND window) {
    Screenshot shot{};
    GetWindowRect(window, &shot.area);
    BITMAPINFOHEADER& header = shot.header;
    header.biSize = sizeof header;
    header.biWidth = shot.area.right - shot.area.left;
    header.biHeight = shot.area.bottom - shot.area.top;
    header.biPlanes = 1;
    header.biBitCount = 24;
    header.biCompression = BI_RGB;
    const HDC screen = GetDC(nullptr);
    const HDC memory = CreateCompatibleDC(screen);
    void* bits = nullptr;
    const HBITMAP bitmap = CreateDIBSection(screen, reinterpret_cast<BITMAPINFO*>(&header),
                                            DIB_RGB_COLORS, &bits, nullptr, 0);
    Check(bitmap != nullptr, "cannot make a bitmap for a screenshot");
    const HGDIOBJ kept = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, header.biWidth, header.biHeight, screen, shot.area.left, shot.area.top,
           SRCCOPY);
    GdiFlush();
    const DWORD imageSize = (header.biWidth * 3 + 3) / 4 * 4 * header.biHeight;
    shot.pixels.assign(static_cast<const char*>(bits), imageSize);
    SelectObject(memory, kept);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return shot;
}

void SaveScreenshot(const Screenshot& shot, const std::string& path) {
    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42; // "BM"
    file.bfOffBits = sizeof file + sizeof shot.header;
    file.bfSize = file.bfOffBits + static_cast<DWORD>(shot.pixels.size());
    WriteFile(path,
              std::string(reinterpret_cast<const char*>(&file), sizeof file) +
                  std::string(reinterpret_cast<const char*>(&shot.header), sizeof shot.header) +
                  shot.pixels);
}

void SaveScreenshot(HWND window, const std::string& path) {
    SaveScreenshot(TakeScreenshot(window), path);
}

// How wide the progress dialog's name is drawn in the shot: the span of the grey text
// background it paints behind the name, within the dialog's client area; 0 if there is none.
LONG DrawnNameWidth(const Screenshot& shot, HWND dialog) {
    RECT client;
    GetClientRect(dialog, &client);
    MapWindowPoints(dialog, nullptr, reinterpret_cast<POINT*>(&client), 2);
    LONG left = client.right;
    LONG right = client.left;
    for (LONG y = client.top; y < client.bottom; ++y) {
        for (LONG x = client.left; x < client.right; ++x) {
            const unsigned char* p = shot.Pixel(x, y);
            if (p[0] == 192 && p[1] == 192 && p[2] == 192) {
                left = std::min(left, x);
                right = std::max(right, x + 1);
            }
        }
    }
    return right > left ? right - left : 0;
}

// How wide the dialog's text background is behind `name`, in the font a paint context starts
// with.
LONG NameWidth(const std::string& name) {
    std::string padded = name;
    padded.resize(8, ' ');
    const HDC dc = CreateCompatibleDC(nullptr);
    SIZE size{};
    GetTextExtentPoint32A(dc, padded.c_str(), static_cast<int>(padded.size()), &size);
    DeleteDC(dc);
    return size.cx;
}

// Add opens the progress dialog before it looks at the selection, then anew for each trailer
// it copies, and a long copy keeps it up. A shot counts if one dialog was up for 100 ms before
// it and still is after it: it then shows the dialog of the long copy, which must name the
// trailer being copied, `copied`, not the one copied before it, `previous`.
void CheckProgressDialog(const std::string& copied, const std::string& previous,
                         const std::string& path) {
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < 10000) {
        const HWND dialog = FindWindowA(kDialogClass, kProgressTitle);
        if (dialog == nullptr) {
            Sleep(5);
            continue;
        }
        Sleep(100);
        if (FindWindowA(kDialogClass, kProgressTitle) != dialog) {
            continue;
        }
        const Screenshot shot = TakeScreenshot(GetDesktopWindow()); // reaches past the window
        if (FindWindowA(kDialogClass, kProgressTitle) != dialog) {
            continue;
        }
        SaveScreenshot(shot, path);
        const LONG drawn = DrawnNameWidth(shot, dialog);
        Check(drawn == NameWidth(copied),
              "the progress dialog shows a name " + std::to_string(drawn) +
                  " pixels wide during the copy of " + copied + " (" +
                  std::to_string(NameWidth(copied)) + " pixels; " + previous + ", copied before, " +
                  std::to_string(NameWidth(previous)) + ")");
        Step("the progress dialog names " + copied + " during its copy");
        return;
    }
    Fail("no shot of the progress dialog during the long copy");
}

// The long disc's trailer, renamed to a wide name, after a short one with a narrow name that
// the same Add copies just before it. Both take their audio from the start of its block.
void RenameLongTrailer(const std::string& folder) {
    const Trailer t = ReadSourceDisc(folder)[0];
    const std::string block = " " + std::to_string(t.startUnits) + " ";
    const std::string offset = " " + std::to_string(t.offset) + "\r\n";
    WriteFile(folder + "\\R14TRLR.TXT", ";two names of very different widths\r\nI 1" + block +
                                            std::to_string(kUnitsPerSecond) + offset +
                                            "WWWWWWWW 2" + block + std::to_string(t.endUnits) +
                                            offset + "\x1A");
}

// Closes the main window; the program must then end with status 0.
void CloseProgram() {
    PostMessageA(app.main, WM_CLOSE, 0, 0);
    Check(WaitForSingleObject(app.process, kPatienceMs) == WAIT_OBJECT_0,
          "the program did not end after its window was closed");
    DWORD exitCode = 1;
    GetExitCodeProcess(app.process, &exitCode);
    Check(exitCode == 0, "the program ended with status " + std::to_string(exitCode));
}

// In the program just started, opens the source disc `kill` and an empty destination disc
// `killed`, written anew, selects every trailer and presses Add. Returns once the copy has
// begun; the caller then stops or kills the program.
void StartAdd(const std::string& discs) {
    const std::vector<Trailer> source = ReadSourceDisc(discs + "\\kill", false);
    const std::string destination = discs + "\\killed";
    CreateDirectoryA(destination.c_str(), nullptr);
    WriteFile(destination + "\\R14TRLR.TXT", IndexBytes({}));
    WriteFile(destination + "\\R14T5.AUD", AudioBytes({}));
    FindProgram();
    ChooseFile(app.openDisc, discs + "\\kill\\R14TRLR.TXT");
    ChooseFile(app.continueDisc, destination + "\\R14TRLR.TXT");
    ExpectWindow("010011", source, {}, "with both discs open");
    Ask(app.sourceList, LB_SETSEL, TRUE, -1);
    Press(app.add);
    WaitUntil([] { return FindWindowA(kDialogClass, kProgressTitle) != nullptr; },
              "the progress dialog");
}

// After StartAdd: waits until the Add has copied every trailer of `kill`, then closes the
// program.
void FinishAdd(const std::string& discs) {
    const std::vector<Trailer> source = ReadSourceDisc(discs + "\\kill", false);
    FindProgram();
    ExpectWindow("010011", source, source, "after the Add");
    CloseProgram();
}

// In the program just started, while another program writes DISC: Open Disc reads it as a
// source, and Continue Disc of it shows the error box and leaves the window as it was. Closes
// the program.
void ContinueRefused(const std::string& disc) {
    const std::vector<Trailer> trailers = ReadSourceDisc(disc, false);
    FindProgram();
    ChooseFile(app.openDisc, disc + "\\R14TRLR.TXT");
    ExpectWindow("011100", trailers, {}, "with the disc open as the source");
    ChooseFile(app.continueDisc, disc + "\\R14TRLR.TXT");
    AnswerErrorBox(kOpenError, "on Continue Disc of a disc another program writes");
    ExpectWindow("011100", trailers, {}, "after Continue Disc was refused");
    CloseProgram();
}

// In the program just started, after the program that wrote DISC was killed: Continue Disc of
// it, again while it is refused (a killed Wine program's hold outlives it for a moment), 10 s
// at most. The window must then show the disc's trailers. Closes the program.
void ContinueOnceFree(const std::string& disc) {
    const std::vector<Trailer> trailers = ReadSourceDisc(disc, false);
    FindProgram();
    const DWORD start = GetTickCount();
    int refusals = 0;
    for (;; ++refusals) {
        ChooseFile(app.continueDisc, disc + "\\R14TRLR.TXT");
        while (ButtonStates() != "100001" && FindWindowA(kDialogClass, kErrorTitle) == nullptr) {
            Check(GetTickCount() - start < kPatienceMs, "Continue Disc shows nothing");
            Sleep(10);
        }
        if (ButtonStates() == "100001") {
            break;
        }
        Check(GetTickCount() - start < 10000, "Continue Disc is refused for 10 s");
        AnswerErrorBox(kOpenError, "on Continue Disc of the killed writer's disc");
    }
    Step("Continue Disc worked " + std::to_string(GetTickCount() - start) + " ms after it was " +
         "first pressed, refused " + std::to_string(refusals) + " times before");
    ExpectWindow("100001", {}, trailers, "with the disc continued");
    CloseProgram();
}

// The text of `item` in the tree view `tree` of `program`'s process, in UTF-8. The tree writes
// it into memory of that process, so the request is laid out there.
std::string TreeItemText(HWND tree, HANDLE program, HTREEITEM item) {
    const int kLength = 260;
    struct Request {
        TVITEMW item;
        wchar_t text[kLength];
    };
    Request* const there = static_cast<Request*>(
        VirtualAllocEx(program, nullptr, sizeof(Request), MEM_COMMIT, PAGE_READWRITE));
    Check(there != nullptr, "cannot ask the folder browser for an item's name");
    Request request = {};
    request.item.mask = TVIF_TEXT;
    request.item.hItem = item;
    request.item.pszText = there->text;
    request.item.cchTextMax = kLength;
    Check(WriteProcessMemory(program, there, &request, sizeof(request), nullptr) != 0 &&
              Ask(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(there)) != 0 &&
              ReadProcessMemory(program, there, &request, sizeof(request), nullptr) != 0,
          "cannot read the name of an item in the folder browser");
    VirtualFreeEx(program, there, 0, MEM_RELEASE);
    request.text[kLength - 1] = L'\0';
    char text[4 * kLength] = {};
    WideCharToMultiByte(CP_UTF8, 0, request.text, -1, text, sizeof(text), nullptr, nullptr);
    return text;
}

// What the folder browser shows selected: the selected item's name and its parent's, as
// "parent\name"; empty while nothing is selected.
std::string BrowserSelection(HWND tree, HANDLE program) {
    const HTREEITEM item = reinterpret_cast<HTREEITEM>(Ask(tree, TVM_GETNEXTITEM, TVGN_CARET, 0));
    if (item == nullptr) {
        return "";
    }
    const HTREEITEM parent = reinterpret_cast<HTREEITEM>(
        Ask(tree, TVM_GETNEXTITEM, TVGN_PARENT, reinterpret_cast<LPARAM>(item)));
    const std::string name = TreeItemText(tree, program, item);
    return parent == nullptr ? name : TreeItemText(tree, program, parent) + "\\" + name;
}

// Presses Start New Disc, selects `folder` in the folder browser, checks that the browser shows
// it selected and presses OK; returns once the browser has closed. The browser takes the
// folder's name in the program's own memory. OK before the selection has taken would choose the
// folder the browser started on, so the driver never presses it then.
//
// Wine's browser finds a folder by walking its tree, matching each level's item, which holds
// the folder's time of change as the browser listed it, with the folder as it is now. Where a
// folder on the way changed between the two (a file made or removed in it, by anyone), the walk
// stops short and nothing is selected, and that browser never selects the folder again: its
// items keep the old time. A person would close it and open it again; so does the driver, until
// one takes, within its patience.
void ChooseFolder(const std::string& folder) {
    const std::string::size_type last = folder.rfind('\\');
    Check(last != std::string::npos && last > 0 &&
              folder.rfind('\\', last - 1) != std::string::npos,
          "the folder " + folder + " has no parent to tell it by");
    // The folder and its parent, as the browser names them.
    const std::string wanted = folder.substr(folder.rfind('\\', last - 1) + 1);
    const std::wstring name = Wide(folder);
    const SIZE_T size = (name.size() + 1) * sizeof(wchar_t);
    const DWORD start = GetTickCount();
    for (int browsers = 1;; ++browsers) {
        Press(app.startNewDisc);
        HWND browser = nullptr;
        WaitUntil([&] { return (browser = OwnedDialog()) != nullptr; }, "the folder browser");
        HWND tree = nullptr;
        WaitUntil(
            [&] {
                for (const HWND child : Children(browser)) {
                    if (ClassOf(child) == WC_TREEVIEWA && IsWindowVisible(child)) {
                        tree = child;
                    }
                }
                return tree != nullptr;
            },
            "the folder browser's tree of folders");
        DWORD programId = 0;
        GetWindowThreadProcessId(browser, &programId);
        const HANDLE program = OpenProcess(
            PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, programId);
        Check(program != nullptr, "cannot open the program's process");
        void* const there = VirtualAllocEx(program, nullptr, size, MEM_COMMIT, PAGE_READWRITE);
        Check(there != nullptr && WriteProcessMemory(program, there, name.c_str(), size, nullptr),
              "cannot hand the folder's name to the program");
        // The browser walks its tree while it handles the request, so what it shows on return
        // is the request's whole outcome.
        Ask(browser, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(there));
        const std::string shown = BrowserSelection(tree, program);
        VirtualFreeEx(program, there, 0, MEM_RELEASE);
        CloseHandle(program);
        const bool taken = shown == wanted;
        if (!taken && GetTickCount() - start > kPatienceMs) {
            Fail("the folder browser shows '" + shown + "' selected, not '" + wanted +
                 "', in each of " + std::to_string(browsers) + " browsers asked to select " +
                 folder);
        }
        PostMessageA(browser, WM_COMMAND, MAKEWPARAM(taken ? IDOK : IDCANCEL, BN_CLICKED), 0);
        WaitUntil([&] { return !IsWindow(browser); }, "the folder browser to close on " + folder);
        if (taken) {
            if (browsers > 1) {
                Step("the folder browser showed the folder selected once opened " +
                     std::to_string(browsers) + " times");
            }
            return;
        }
    }
}

// In the program just started: for each folder named in another script, Open Disc of a copy of
// DISCS\source there, Continue Disc of an empty disc there, Add of every trailer and Close Disc;
// in the last, Start New Disc there too, through the folder browser. Every disc written must hold
// what the window shows. Closes the program.
void NamedFolders(const std::string& discs) {
    const char* const names[] = {"トレーラー", "Трейлеры", "Reel 🎬", "Café crème"};
    const std::vector<Trailer> source = ReadSourceDisc(discs + "\\source");
    FindProgram();
    ExpectWindow("101100", {}, {}, "at start");
    for (const char* name : names) {
        const std::string folder = discs + "\\" + name;
        Step(std::string("Open Disc, Continue Disc and Add in the folder ") + name);
        for (const std::string& made : {folder, folder + "\\source", folder + "\\disc"}) {
            Check(CreateDirectoryA(made.c_str(), nullptr) != 0, "cannot create " + made);
        }
        for (const char* file : {"\\R14TRLR.TXT", "\\R14T5.AUD"}) {
            Check(CopyFileA((discs + "\\source" + file).c_str(),
                            (folder + "\\source" + file).c_str(), FALSE) != 0,
                  "cannot copy the source disc into " + folder);
        }
        WriteFile(folder + "\\disc\\R14TRLR.TXT", IndexBytes({}));
        WriteFile(folder + "\\disc\\R14T5.AUD", AudioBytes({}));
        ChooseFile(app.openDisc, folder + "\\source\\R14TRLR.TXT");
        ExpectWindow("011100", source, {}, std::string("with the source in ") + name + " open");
        ChooseFile(app.continueDisc, folder + "\\disc\\R14TRLR.TXT");
        ExpectWindow("010011", source, {}, std::string("with the disc in ") + name + " open");
        Ask(app.sourceList, LB_SETSEL, TRUE, -1);
        Press(app.add);
        ExpectWindow("010011", source, source, std::string("after Add in ") + name);
        Press(app.destinationClose);
        ExpectWindow("011100", source, {}, std::string("after Close Disc in ") + name);
        CheckFile(folder + "\\disc\\R14TRLR.TXT", IndexBytes(source));
        CheckFile(folder + "\\disc\\R14T5.AUD", AudioBytes(source));
        Check(!Exists(folder + "\\disc\\R14T5.ADD"), "Close Disc left the record of an add");

        if (name == names[3]) {
            Step(std::string("Start New Disc in the folder ") + name +
                 ", through the folder browser");
            const std::string fresh = folder + "\\new";
            Check(CreateDirectoryA(fresh.c_str(), nullptr) != 0, "cannot create " + fresh);
            ChooseFolder(fresh);
            ExpectWindow("010011", source, {}, "with the new disc open");
            Ask(app.sourceList, LB_SETSEL, FALSE, -1); // Add left every line selected
            Ask(app.sourceList, LB_SETSEL, TRUE, 2);
            Press(app.add);
            ExpectWindow("010011", source, {source[2]}, "after Add to the new disc");
            Press(app.destinationClose);
            ExpectWindow("011100", source, {}, "after Close Disc of the new disc");
            CheckFile(fresh + "\\R14TRLR.TXT", IndexBytes({source[2]}));
            CheckFile(fresh + "\\R14T5.AUD", AudioBytes({source[2]}));
        }
        Press(app.sourceClose);
        ExpectWindow("101100", {}, {}, std::string("after Close Disc of the source in ") + name);
    }
    CloseProgram();
    Step("all four folders passed");
}

// Works the program from start to end; see the top of this file.
void RunSession(const std::string& discs, const std::string& shots) {
    const std::vector<Trailer> source = ReadSourceDisc(discs + "\\source");
    RenameLongTrailer(discs + "\\long");
    const std::vector<Trailer> longDisc = ReadSourceDisc(discs + "\\long");
    Check(source.size() == 8 && longDisc.size() == 2, "the sample discs are not as expected");

    // The destination holds a trailer of its own, two of the source's (selecting them again
    // must not add them twice) and one named like a source trailer but longer, whose line
    // differs, so that source trailer is added.
    const std::string destination = discs + "\\destination";
    const std::string destinationIndex = destination + "\\R14TRLR.TXT";
    const std::string destinationAudio = destination + "\\R14T5.AUD";
    std::vector<Trailer> onDisc = {OwnTrailer("OLDTRLR1", 501, 75), source[1], source[3],
                                   OwnTrailer(source[2].name, 502, source[2].endUnits + 45)};
    CreateDirectoryA(destination.c_str(), nullptr);
    WriteFile(destinationIndex, IndexBytes(onDisc));
    WriteFile(destinationAudio, AudioBytes(onDisc));
    auto checkDestinationFiles = [&](const std::string& when) {
        Step("checking the destination's files " + when);
        CheckFile(destinationIndex, IndexBytes(onDisc));
        CheckFile(destinationAudio, AudioBytes(onDisc));
    };

    Step("waiting for the program's window");
    FindProgram();
    ExpectWindow("101100", {}, {}, "at start");

    Step("Open Disc: the source disc, through the open-file dialog");
    ChooseFile(app.openDisc, discs + "\\source\\R14TRLR.TXT");
    ExpectWindow("011100", source, {}, "with the source open");

    Step("Continue Disc: the prepared destination");
    ChooseFile(app.continueDisc, destinationIndex);
    ExpectWindow("010011", source, onDisc, "with both discs open");

    Step("Add: six source lines, two of them already on the destination");
    for (const int line : {0, 1, 2, 3, 4, 7}) {
        Ask(app.sourceList, LB_SETSEL, TRUE, line);
    }
    Press(app.add);
    for (const int line : {0, 2, 4, 7}) {
        onDisc.push_back(source[line]);
    }
    ExpectWindow("010011", source, onDisc, "after Add");
    SaveScreenshot(app.main, shots + "\\main_window.bmp");
    checkDestinationFiles("right after Add, with the disc still open");

    Step("Close Disc (destination)");
    Press(app.destinationClose);
    ExpectWindow("011100", source, {}, "after the destination was closed");
    checkDestinationFiles("after Close Disc");

    Step("Start New Disc: the folder browser, cancelled");
    Press(app.startNewDisc);
    HWND browser = nullptr;
    WaitUntil([&] { return (browser = OwnedDialog()) != nullptr; }, "the folder browser");
    std::string texts;
    for (const HWND child : Children(browser)) {
        texts += " [" + TextOf(child) + "]";
    }
    Check(texts.find(std::string("[") + kBrowseText + "]") != std::string::npos,
          "the folder browser does not show its title; it shows:" + texts);
    PostMessageA(browser, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    WaitUntil([&] { return !IsWindow(browser); }, "the folder browser to close");
    ExpectWindow("011100", source, {}, "after the folder browser was cancelled");
    checkDestinationFiles("after the folder browser was cancelled");

    // Audio after the last trailer is cut only when the record of an add says that an add began
    // exactly there.
    Step("Continue Disc: an older index put back over a longer disc is refused");
    const std::string older = discs + "\\older";
    const std::vector<Trailer> three = {OwnTrailer("FIRST", 601, 40), OwnTrailer("SECOND", 602, 35),
                                        OwnTrailer("THIRD", 603, 50)};
    const std::vector<Trailer> listed(three.begin(), three.begin() + 2);
    CreateDirectoryA(older.c_str(), nullptr);
    WriteFile(older + "\\R14TRLR.TXT", IndexBytes(listed));
    WriteFile(older + "\\R14T5.AUD", AudioBytes(three));
    ChooseFile(app.continueDisc, older + "\\R14TRLR.TXT");
    AnswerErrorBox(kOpenError, "on Continue Disc of the older index");
    ExpectWindow("011100", source, {}, "after Continue Disc was refused");
    CheckFile(older + "\\R14TRLR.TXT", IndexBytes(listed));
    CheckFile(older + "\\R14T5.AUD", AudioBytes(three));
    Check(!Exists(older + "\\R14T5.ADD"), "the refused Continue Disc left a record of an add");

    Step("Continue Disc: the same disc with a record of an add begun at its index's end is cut");
    WriteFile(older + "\\R14T5.ADD", std::to_string(AudioBytes(listed).size()) + "\r\n");
    ChooseFile(app.continueDisc, older + "\\R14TRLR.TXT");
    ExpectWindow("010011", source, listed, "with the older disc continued");
    CheckFile(older + "\\R14TRLR.TXT", IndexBytes(listed));
    CheckFile(older + "\\R14T5.AUD", AudioBytes(listed));
    Press(app.destinationClose);
    ExpectWindow("011100", source, {}, "after the older disc was closed");
    Check(!Exists(older + "\\R14T5.ADD"), "Close Disc left the record of an add");

    Step("Close Disc (source), Open Disc on the long trailer, Continue Disc again");
    Press(app.sourceClose);
    ExpectWindow("101100", {}, {}, "with both discs closed");
    ChooseFile(app.openDisc, discs + "\\long\\R14TRLR.TXT");
    ExpectWindow("011100", longDisc, {}, "with the long trailer's disc open");
    ChooseFile(app.continueDisc, destinationIndex);
    ExpectWindow("010011", longDisc, onDisc, "with both discs open again");

    Step("Add: a short trailer, then the long one, with the progress dialog up during the copy");
    Ask(app.sourceList, LB_SETSEL, TRUE, -1);
    Press(app.add);
    CheckProgressDialog(longDisc[1].name, longDisc[0].name, shots + "\\progress_dialog.bmp");
    onDisc.push_back(longDisc[0]);
    onDisc.push_back(longDisc[1]);
    ExpectWindow("010011", longDisc, onDisc, "after the long trailer was added");
    checkDestinationFiles("right after Add, with the disc still open");

    Step("closing the main window with the destination still open");
    CloseProgram();
    checkDestinationFiles("after the program ended");
    Step("all checks passed");
}

} // namespace

int main(int argc, char** argv) {
    const std::string mode = argc == 3 ? argv[1] : "";
    if (mode == "--start-add") {
        StartAdd(argv[2]);
    } else if (mode == "--finish-add") {
        FinishAdd(argv[2]);
    } else if (mode == "--continue-refused") {
        ContinueRefused(argv[2]);
    } else if (mode == "--continue") {
        ContinueOnceFree(argv[2]);
    } else if (mode == "--named-folders") {
        NamedFolders(argv[2]);
    } else if (argc == 3 && mode.rfind("--", 0) != 0) {
        RunSession(argv[1], argv[2]);
    } else {
        std::fprintf(stderr, "usage: e2e_driver DISCS SHOTS\n"
                             "       e2e_driver --start-add DISCS | --finish-add DISCS\n"
                             "       e2e_driver --continue-refused DISC | --continue DISC\n"
                             "       e2e_driver --named-folders DISCS\n");
        return 2;
    }
    return 0;
}
