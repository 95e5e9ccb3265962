// The buttons' commands, driven through WM_COMMAND on the real main window, with the dialogs
// answered by script.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "disc_fixture.h"
#include "shown_names.h"
#include "window_fixture.h"

namespace {

const int32_t kSecond = 110250;

std::vector<std::string> Lines(HWND list) {
    std::vector<std::string> lines;
    const LRESULT count = SendMessageA(list, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        char text[512] = {};
        SendMessageA(list, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
        lines.push_back(text);
    }
    return lines;
}

// The lines as the list box holds them, in UTF-16.
std::vector<std::wstring> WideLines(HWND list) {
    std::vector<std::wstring> lines;
    const LRESULT count = SendMessageW(list, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        wchar_t text[512] = {};
        SendMessageW(list, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
        lines.push_back(text);
    }
    return lines;
}

std::wstring WideLine(const std::wstring& name, int seconds) {
    return name + std::wstring(8 - name.size(), L' ') + L"      length : " +
           std::to_wstring(seconds) + L" seconds";
}

// Starts a Linux program with its arguments, as Wine starts one given by its Linux name: Windows
// has no call that makes a named pipe, nor a link to a device. Wine may say it ended before it has.
bool StartLinuxProgram(std::string commandLine) {
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        return false;
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
}

// The Linux name of a file under Wine.
std::string LinuxName(const std::string& name) {
    using UnixName = char*(CDECL*)(const wchar_t*);
    const auto unixName = reinterpret_cast<UnixName>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
    wchar_t wide[512] = {};
    MultiByteToWideChar(CP_ACP, 0, name.c_str(), -1, wide, 512);
    char* const found = unixName == nullptr ? nullptr : unixName(wide);
    const std::string linux = found == nullptr ? "" : found;
    HeapFree(GetProcessHeap(), 0, found);
    return linux;
}

// Wine gives a Windows program no attributes for a named pipe or a device (the call fails with
// ERROR_INVALID_PARAMETER), where a missing file gives ERROR_FILE_NOT_FOUND.
bool SpecialFileThere(const std::string& name) {
    return GetFileAttributesA(name.c_str()) == INVALID_FILE_ATTRIBUTES &&
           GetLastError() == ERROR_INVALID_PARAMETER;
}

// Waits until a Linux program has made the file, or removed it; 10 s at most.
bool WaitForSpecialFile(const std::string& name, bool there) {
    for (int tries = 0; tries < 1000 && SpecialFileThere(name) != there; ++tries) {
        Sleep(10);
    }
    return SpecialFileThere(name) == there;
}

std::string Line(const std::string& name, int seconds) {
    return name + std::string(8 - name.size(), ' ') + "      length : " + std::to_string(seconds) +
           " seconds";
}

class CommandsTest : public MainWindowTest {
protected:
    void Press(HWND button) {
        SendMessageA(window, WM_COMMAND, MAKEWPARAM(0, BN_CLICKED),
                     reinterpret_cast<LPARAM>(button));
    }
    // A source disc whose index is `records` and whose audio is `audioSize` bytes.
    std::string MakeSource(const std::string& records, size_t audioSize) {
        WriteFileBytes(source.File("R14TRLR.TXT"), ";source\r\n" + records + "\x1A");
        WriteFileBytes(source.File("R14T5.AUD"), std::string(audioSize, 'a'));
        return source.File("R14TRLR.TXT");
    }
    void OpenSource(const std::string& index) {
        g_script.files.push_back(index);
        Press(c.openDisc);
    }
    void StartNew(const std::string& folder) {
        g_script.folders.push_back(folder);
        Press(c.startNewDisc);
    }
    void SelectAll() { SendMessageA(c.sourceList, LB_SETSEL, TRUE, -1); }
    void ExpectButtons(bool sourceOpen, bool destinationOpen) {
        EXPECT_EQ(g_discs.IsSourceOpen(), sourceOpen);
        EXPECT_EQ(g_discs.IsDestinationOpen(), destinationOpen);
        EXPECT_EQ(IsWindowEnabled(c.openDisc) != FALSE, !sourceOpen);
        EXPECT_EQ(IsWindowEnabled(c.sourceCloseDisc) != FALSE, sourceOpen);
        EXPECT_EQ(IsWindowEnabled(c.startNewDisc) != FALSE, !destinationOpen);
        EXPECT_EQ(IsWindowEnabled(c.continueDisc) != FALSE, !destinationOpen);
        EXPECT_EQ(IsWindowEnabled(c.destinationCloseDisc) != FALSE, destinationOpen);
        EXPECT_EQ(IsWindowEnabled(c.add) != FALSE, sourceOpen && destinationOpen);
    }
    void ExpectOnlyMessage(const char* text) {
        ASSERT_EQ(g_script.messages.size(), 1u);
        EXPECT_EQ(g_script.messages[0].owner, window);
        EXPECT_EQ(g_script.messages[0].text, text);
        EXPECT_EQ(g_script.messages[0].caption, "Error");
        g_script.messages.clear();
    }

    const MainControls& c = g_ui.controls;
    TempFolder source;
    TempFolder destination;
};

} // namespace

TEST_F(CommandsTest, ButtonsFollowTheDiscsThroughEveryState) {
    const std::string index = MakeSource("ABC 1 0 30 92\r\nLONGNAME 2 0 60 92\r\n", 92);
    ExpectButtons(false, false);
    OpenSource(index);
    ExpectButtons(true, false);
    EXPECT_EQ(Lines(c.sourceList), (std::vector<std::string>{Line("ABC", 1), Line("LONGNAME", 2)}));
    StartNew(destination.Path());
    ExpectButtons(true, true);
    EXPECT_TRUE(Lines(c.destinationList).empty());
    Press(c.sourceCloseDisc);
    ExpectButtons(false, true);
    EXPECT_TRUE(Lines(c.sourceList).empty());
    OpenSource(index);
    ExpectButtons(true, true);
    Press(c.destinationCloseDisc);
    ExpectButtons(true, false);
    Press(c.sourceCloseDisc);
    ExpectButtons(false, false);
    EXPECT_TRUE(g_script.messages.empty());
    EXPECT_EQ(g_script.fileDialogs, 2);
    EXPECT_EQ(g_script.folderBrowsers, 1);
}

TEST_F(CommandsTest, CancelledDialogsChangeNothingAndFailedOpensSaySo) {
    Press(c.openDisc);     // cancelled
    Press(c.startNewDisc); // cancelled
    Press(c.continueDisc); // cancelled
    EXPECT_EQ(g_script.fileDialogs, 2);
    EXPECT_EQ(g_script.folderBrowsers, 1);
    EXPECT_TRUE(g_script.messages.empty());
    ExpectButtons(false, false);

    OpenSource(source.File("MISSING.TXT"));
    ExpectOnlyMessage("Error opening file.");
    StartNew(destination.File("missing-folder"));
    ExpectOnlyMessage("Error opening file.");
    g_script.files.push_back(destination.File("R14TRLR.TXT"));
    Press(c.continueDisc);
    ExpectOnlyMessage("Error opening file.");
    ExpectButtons(false, false);

    // Add is disabled then, but a stray command still reaches it.
    Press(c.add);
    ExpectOnlyMessage("Program error");
    OpenSource(MakeSource("A 1 0 1 92\r\n", 92));
    Press(c.add);
    ExpectOnlyMessage("Program error");
    ExpectButtons(true, false);
}

TEST_F(CommandsTest, AddCopiesSelectedTrailersOnceAndWritesTheDiscOnClose) {
    // Two pairs whose lines are alike: the same name and seconds, and names that differ only in
    // letter case. Only the first of each pair is added.
    const std::string index = MakeSource("ABC 1 0 30 92\r\nABC 2 0 31 92\r\n"
                                         "abc 3 0 60 92\r\nABC 4 0 60 92\r\nZ 5 0 1 92\r\n",
                                         92 + 60 * 3675);
    OpenSource(index);
    StartNew(destination.Path() + "\\"); // a folder name that ends in a separator
    ExpectButtons(true, true);
    SendMessageA(c.sourceList, LB_SETSEL, TRUE, 4);
    Press(c.add);
    EXPECT_EQ(Lines(c.destinationList), std::vector<std::string>{Line("Z", 0)});
    SelectAll();
    Press(c.add);
    Press(c.add); // the same selection again adds nothing
    EXPECT_EQ(Lines(c.destinationList),
              (std::vector<std::string>{Line("Z", 0), Line("ABC", 1), Line("abc", 2)}));
    EXPECT_EQ(g_discs.DestinationCount(), 3);
    EXPECT_TRUE(g_script.messages.empty());
    // The selection is left as it was.
    EXPECT_EQ(SendMessageA(c.sourceList, LB_GETSELCOUNT, 0, 0), 5);

    Press(c.destinationCloseDisc);
    EXPECT_TRUE(Lines(c.destinationList).empty());
    EXPECT_EQ(ReadFileBytes(destination.File("R14TRLR.TXT")),
              kIndexHeaderLines + "Z\t\t5\t0\t1\t92\r\n" + "ABC\t\t1\t0\t30\t3767\r\n" +
                  "abc\t\t3\t0\t60\t" + std::to_string(3767 + kSecond) + "\r\n\x1A");
    EXPECT_EQ(ReadFileBytes(destination.File("R14T5.AUD")).size(), 92u + 91u * 3675u);
}

TEST_F(CommandsTest, ContinuedDiscRecognisesItsTrailersUnlessTheWriterCutTheirNames) {
    OpenSource(
        MakeSource("KEEP 1 0 30 92\r\nCUT-NAME 2 0 30 92\r\nNEW 3 0 30 92\r\n", 92 + 30 * 3675));
    StartNew(destination.Path());
    SendMessageA(c.sourceList, LB_SETSEL, TRUE, 0);
    SendMessageA(c.sourceList, LB_SETSEL, TRUE, 1);
    Press(c.add);
    Press(c.destinationCloseDisc);

    g_script.files.push_back(destination.File("R14TRLR.TXT"));
    Press(c.continueDisc);
    ExpectButtons(true, true);
    // The hyphen ended the name when the index was written.
    EXPECT_EQ(Lines(c.destinationList),
              (std::vector<std::string>{Line("KEEP", 1), Line("CUT", 1)}));
    SelectAll();
    Press(c.add);
    EXPECT_EQ(Lines(c.destinationList),
              (std::vector<std::string>{Line("KEEP", 1), Line("CUT", 1), Line("CUT-NAME", 1),
                                        Line("NEW", 1)}));
    EXPECT_EQ(g_discs.DestinationCount(), 4);
}

// A named pipe gives no index to read, and a device endless bytes: each is refused at once.
TEST_F(CommandsTest, APipeOrADeviceAsTheSourceIndexIsRefused) {
    const std::string pipe = source.File("R14TRLR.TXT");
    const std::string device = destination.File("R14TRLR.TXT");
    WriteFileBytes(source.File("R14T5.AUD"), std::string(92, 'a'));
    WriteFileBytes(destination.File("R14T5.AUD"), std::string(92, 'a'));
    ASSERT_TRUE(StartLinuxProgram("/usr/bin/mkfifo " + LinuxName(pipe)));
    ASSERT_TRUE(StartLinuxProgram("/bin/ln -s /dev/zero " + LinuxName(device)));
    ASSERT_TRUE(WaitForSpecialFile(pipe, true));
    ASSERT_TRUE(WaitForSpecialFile(device, true));
    OpenSource(pipe);
    ExpectOnlyMessage("Error opening file.");
    OpenSource(device);
    ExpectOnlyMessage("Error opening file.");
    ExpectButtons(false, false);
    EXPECT_TRUE(Lines(c.sourceList).empty());
    // Wine shows a Windows program neither, so its own calls cannot remove them.
    ASSERT_TRUE(StartLinuxProgram("/bin/rm -f " + LinuxName(pipe) + " " + LinuxName(device)));
    EXPECT_TRUE(WaitForSpecialFile(pipe, false));
    EXPECT_TRUE(WaitForSpecialFile(device, false));
}

// The programs take UTF-8 as their code page (the test program too, by the same manifest); a
// name's bytes still show as Windows-1252 text, as on the Windows the discs were made on.
TEST_F(CommandsTest, NamesShowTheirBytesAsWindows1252AndStayApartByThem) {
    // Names that differ only in a byte of 0x80 and above, also in two bytes Windows-1252 leaves
    // undefined, and one of eight such bytes, the longest a name can show as.
    OpenSource(MakeSource("CAF\xE8 1 0 30 92\r\nCAF\xE9 2 0 30 92\r\nX\x81 3 0 1 92\r\n"
                          "X\x8D 4 0 1 92\r\n\x80\x80\x80\x80\x80\x80\x80\x80 5 0 1 92\r\n",
                          92 + 30 * 3675));
    const std::vector<std::wstring> lines = {WideLine(L"CAF\u00E8", 1), WideLine(L"CAF\u00E9", 1),
                                             WideLine(L"X\u0081", 0), WideLine(L"X\u008D", 0),
                                             WideLine(std::wstring(8, L'\u20AC'), 0)};
    EXPECT_EQ(WideLines(c.sourceList), lines);
    StartNew(destination.Path());
    SelectAll();
    Press(c.add);
    EXPECT_EQ(WideLines(c.destinationList), lines);
    EXPECT_EQ(g_discs.DestinationCount(), 5);
    // The index keeps a name only up to its first byte of 0x80 or above, as it always has.
    Press(c.destinationCloseDisc);
    EXPECT_EQ(ReadFileBytes(destination.File("R14TRLR.TXT")),
              kIndexHeaderLines + "CAF\t\t1\t0\t30\t92\r\nCAF\t\t2\t0\t30\t" +
                  std::to_string(92 + 30 * 3675) + "\r\nX\t\t3\t0\t1\t" +
                  std::to_string(92 + 60 * 3675) + "\r\nX\t\t4\t0\t1\t" +
                  std::to_string(92 + 61 * 3675) + "\r\n\t\t5\t0\t1\t" +
                  std::to_string(92 + 62 * 3675) + "\r\n\x1A");

    // The progress dialog draws a line's first 8 characters: the name, whatever its bytes.
    EXPECT_EQ(ShownNameLength("\xE2\x82\xAC\xE2\x82\xAC\xE2\x82\xAC\xE2\x82\xAC\xE2\x82\xAC"
                              "\xE2\x82\xAC\xE2\x82\xAC\xE2\x82\xAC      length : 0 seconds"),
              24);
    EXPECT_EQ(ShownNameLength("CAF\xC3\xA8    "), 9);
    EXPECT_EQ(ShownNameLength("AB"), 2);
}

TEST_F(CommandsTest, FullDestinationSaysSoAndListsNothingMore) {
    // A continued disc that already holds 255 empty trailers.
    std::string records;
    for (int i = 0; i < 255; ++i) {
        records += "T" + std::to_string(i) + "\t\t" + std::to_string(i) + "\t0\t0\t92\r\n";
    }
    WriteFileBytes(destination.File("R14TRLR.TXT"), kIndexHeaderLines + records + "\x1A");
    WriteFileBytes(destination.File("R14T5.AUD"),
                   std::string(reinterpret_cast<const char*>(kAudioHeader), kAudioHeaderSize));
    OpenSource(MakeSource("NEW 1 0 1 92\r\nNEWER 2 0 1 92\r\n", 92 + 3675));
    g_script.files.push_back(destination.File("R14TRLR.TXT"));
    Press(c.continueDisc);
    ASSERT_EQ(Lines(c.destinationList).size(), 255u);
    SelectAll();
    Press(c.add);
    ExpectOnlyMessage("Destination disc is full.");
    EXPECT_EQ(Lines(c.destinationList).size(), 255u);
    EXPECT_EQ(g_ui.progressDialog, nullptr);
    ExpectButtons(true, true);
}

TEST_F(MainWindowTest, ProgressDialogHandlesExactlyOkAndCancel) {
    std::strcpy(g_ui.listText, "ABC     ");
    OpenProgressDialog();
    const HWND dialog = g_ui.progressDialog;
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(IsWindowVisible(dialog));
    EXPECT_EQ(GetWindow(dialog, GW_OWNER), window);
    char title[64] = {};
    GetWindowTextA(dialog, title, sizeof title);
    EXPECT_STREQ(title, "Trailer copy progress");

    EXPECT_TRUE(ProgressDialogProc(dialog, WM_COMMAND, IDOK, 0));
    EXPECT_FALSE(ProgressDialogProc(dialog, WM_COMMAND, MAKEWPARAM(IDOK, 1), 0));
    EXPECT_FALSE(ProgressDialogProc(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, 1), 0));
    EXPECT_FALSE(ProgressDialogProc(dialog, WM_COMMAND, 3, 0));
    EXPECT_FALSE(ProgressDialogProc(dialog, WM_TIMER, 0, 0));
    EXPECT_TRUE(IsWindowVisible(dialog));
    EXPECT_TRUE(ProgressDialogProc(dialog, WM_COMMAND, IDCANCEL, 0));
    EXPECT_FALSE(IsWindowVisible(dialog));

    CloseProgressDialog();
    EXPECT_FALSE(IsWindow(dialog));
    EXPECT_EQ(g_ui.progressDialog, nullptr);
}

TEST_F(CommandsTest, RefusedAddsAndOpensLeaveTheDiscsAsTheyWere) {
    OpenSource(MakeSource("GOOD 1 0 1 92\r\nBAD 2 0 -1 92\r\nLATER 3 0 1 92\r\n", 92 + 3675));
    // A new disc over the open source disc would empty the audio being read.
    StartNew(source.Path());
    ExpectOnlyMessage("Error opening file.");
    ExpectButtons(true, false);

    StartNew(destination.Path());
    SelectAll();
    Press(c.add);
    ExpectOnlyMessage("Error writing file.");
    EXPECT_EQ(Lines(c.destinationList), std::vector<std::string>{Line("GOOD", 0)});
    EXPECT_EQ(g_ui.progressDialog, nullptr);
    ExpectButtons(true, true);
    Press(c.destinationCloseDisc);
    EXPECT_EQ(ReadFileBytes(destination.File("R14TRLR.TXT")),
              kIndexHeaderLines + "GOOD\t\t1\t0\t1\t92\r\n\x1A");
}

// Another thread or process may send the window a message at any time: a screen reader or an
// automation tool presses buttons that way. While Add runs, such a message must wait until Add
// has ended, or a second Add would run inside the first.
TEST_F(CommandsTest, ButtonPressSentFromAnotherThreadDuringAddWaitsUntilAddHasEnded) {
    // Copying LONG keeps Add busy for a while; NEXT gets its progress dialog after that.
    const int32_t longUnits = 18000;
    OpenSource(MakeSource("LONG 1 0 18000 92\r\nNEXT 2 0 30 92\r\n", 92 + longUnits * 3675));
    StartNew(destination.Path());
    SelectAll();

    std::atomic<bool> addEnded(false);
    std::atomic<bool> sentDuringAdd(false);
    std::atomic<bool> answeredAfterAdd(false);
    std::atomic<bool> answered(false);
    std::atomic<bool> watching(false);
    std::thread presser([&] {
        watching = true;
        while (FindWindowA("#32770", "Trailer copy progress") == nullptr && !addEnded) {
            Sleep(1);
        }
        sentDuringAdd = !addEnded;
        SendMessageA(window, WM_COMMAND, MAKEWPARAM(0, BN_CLICKED),
                     reinterpret_cast<LPARAM>(c.add));
        answeredAfterAdd = addEnded.load();
        answered = true;
    });
    while (!watching) {
        Sleep(1);
    }
    Press(c.add);
    addEnded = true;
    // Take messages, as the program's loop does, until the other thread has its answer.
    while (!answered) {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            DispatchMessageA(&message);
        }
        Sleep(1);
    }
    presser.join();

    ASSERT_TRUE(sentDuringAdd) << "Add ended before the other thread saw its progress dialog";
    EXPECT_TRUE(answeredAfterAdd);
    // The second press found both trailers on the destination and copied nothing.
    EXPECT_EQ(Lines(c.destinationList),
              (std::vector<std::string>{Line("LONG", 600), Line("NEXT", 1)}));
    EXPECT_EQ(g_discs.DestinationCount(), 2);
    EXPECT_TRUE(g_script.messages.empty());
}
