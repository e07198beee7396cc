// The real monitor's file type and hidden file alerts in one run and a restart:
// ".txt" taken over and given back, a new hidden file deleted, restored and allowed.
#include <windows.h>

#include <shellapi.h>

#include <string>

#include "common/options.h"
#include "resources/resource.h"
#include "support/e2e.h"
#include "support/system_state.h"
#include "support/test_env.h"
#include "watchers/filetypes.h"

namespace {

const char kTxt[] = "Software\\Classes\\.txt", kTxtFile[] = "Software\\Classes\\txtfile";
const char kEvil[] = "Software\\Classes\\bmevil.txtfile";
const char kTxtExts[] = FILEEXTS_KEY "\\.txt";

// The program the shell itself opens a ".txt" file with, upper-cased.
std::string ShellProgramForText()
{
    std::string file = TempFolder() + "\\probe.txt";
    WriteWholeFile(file, "probe");
    char program[MAX_PATH] = "";
    if ((INT_PTR)FindExecutableA(file.c_str(), NULL, program) <= 32)
        return "";
    return Upper(program);
}

class FileTypesHiddenEndToEnd : public BrackmoorTest {
protected:
    void SetUp() override
    {
        BrackmoorTest::SetUp();
        windows_ = WindowsFolder();
        hidden_ = windows_ + "\\bmhidden_e2e.dat";
        hadTxt_ = RegHasKey(HKEY_LOCAL_MACHINE, kTxt);
        savedExts_ = KeyTreeText(HKEY_CURRENT_USER, kTxtExts);
        // ".txt" opened by the prefix's notepad, also by the user's own choice.
        RegPut(HKEY_LOCAL_MACHINE, kTxt, "", "txtfile");
        RegPut(HKEY_CURRENT_USER, kTxtExts, "ProgID", "txtfile");
        RegPut(HKEY_LOCAL_MACHINE, (std::string(kEvil) + "\\shell\\open\\command").c_str(), "",
               "\"C:\\bm\\bmevil.exe\" \"%1\"");
        PrepareMonitor({"SuppressExtraAlerts", "ShowAlerts", "HideFileType", "HideHidden", "Sound", "RealtimeStartup",
                        "Start"},
                       {"RealtimeFileType", "FileType", "RealtimeHidden", "Hidden"});
        AcceptStartupEntriesPresent();
    }
    void TearDown() override
    {
        StopMonitor(run_);
        SetFileAttributesA(hidden_.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(hidden_.c_str());
        RegDeleteTreeView(HKEY_LOCAL_MACHINE, kEvil);
        if (!hadTxt_)
            RegDeleteTreeView(HKEY_LOCAL_MACHINE, kTxt);
        if (savedExts_.empty())
            RegDeleteTreeView(HKEY_CURRENT_USER, kTxtExts);
        BrackmoorTest::TearDown();
    }
    // A Quick Scan; the alert it brings (caption), or NULL when the pass ended without one.
    HWND QuickScan(const std::string &caption) { return QuickScanOrAlert(run_, {caption}, &passes_); }
    bool Answer(HWND alert, int button)
    {
        PressButton(alert, button);
        return WaitUntil([&] { return !IsWindow(alert) && QuickScansDone() > passes_; }, kPassWait);
    }
    // The change is alerted with both programs; the answer given and the pass ended.
    void ExpectFileTypeAlert(int button, const char *how)
    {
        SCOPED_TRACE(how);
        HWND alert = QuickScan(fileTypeCaption_);
        ASSERT_NE(nullptr, alert);
        EXPECT_EQ(".TXT", ControlText(alert, IDC_FT_EXTENSION));
        EXPECT_EQ(notepad_, ControlText(alert, IDC_FT_OLDPATH));
        EXPECT_EQ("C:\\BM\\BMEVIL.EXE", ControlText(alert, IDC_FT_NEWPATH));
        EXPECT_TRUE(Answer(alert, button));
    }
    MonitorRun run_;
    std::string windows_, hidden_, savedExts_, notepad_;
    std::string fileTypeCaption_ = LangText(760), hiddenCaption_ = LangText(718) + " - " + LangText(695);
    bool hadTxt_ = false;
    int passes_ = 0;
};

TEST_F(FileTypesHiddenEndToEnd, ChangedTypesAndNewHiddenFilesAreAskedAboutAndUndone)
{
    notepad_ = ShellProgramForText();
    ASSERT_NE(std::string::npos, notepad_.find("NOTEPAD.EXE"));
    const std::string associations = KeyTreeText(HKEY_LOCAL_MACHINE, kTxt) +
                                      KeyTreeText(HKEY_LOCAL_MACHINE, kTxtFile) +
                                      KeyTreeText(HKEY_CURRENT_USER, kTxtExts);
    ASSERT_TRUE(StartMonitor(run_));
    ASSERT_EQ(nullptr, QuickScan(fileTypeCaption_)) << "the first pass sees nothing new";

    // The machine's class, then the user's ProgID, taken over and rejected.
    RegPut(HKEY_LOCAL_MACHINE, kTxt, "", "bmevil.txtfile");
    ExpectFileTypeAlert(IDNO, "machine class, No");
    EXPECT_EQ(notepad_, ShellProgramForText());
    RegPut(HKEY_CURRENT_USER, kTxtExts, "ProgID", "bmevil.txtfile");
    ExpectFileTypeAlert(IDNO, "user's ProgID, No");
    EXPECT_EQ(associations, KeyTreeText(HKEY_LOCAL_MACHINE, kTxt) + KeyTreeText(HKEY_LOCAL_MACHINE, kTxtFile) +
                                KeyTreeText(HKEY_CURRENT_USER, kTxtExts));
    EXPECT_EQ(2, HistoryLinesWith({"LOG_ALERT_FILETYPE\tTYPE_FILETYPE\t.TXT\tC:\\BM\\BMEVIL.EXE\tRejected, restored"}));

    RegPut(HKEY_CURRENT_USER, kTxtExts, "ProgID", "bmevil.txtfile");
    ExpectFileTypeAlert(IDYES, "user's ProgID, Yes");
    EXPECT_EQ(nullptr, QuickScan(fileTypeCaption_)) << "accepted: not asked again";
    EXPECT_EQ("bmevil.txtfile", RegText(HKEY_CURRENT_USER, kTxtExts, "ProgID"));

    PutOption("LockFileTypes", "1");
    PutOption("Update", "1");
    RegPut(HKEY_LOCAL_MACHINE, kTxt, "", "bmevil.txtfile");
    EXPECT_EQ(nullptr, QuickScan(fileTypeCaption_)) << "locked: reverted without asking";
    EXPECT_EQ("txtfile", RegText(HKEY_LOCAL_MACHINE, kTxt, ""));
    EXPECT_EQ(notepad_, ShellProgramForText());

    // A new hidden file in the Windows folder: deleted into the vault, put back by
    // its script under cmd, asked about again and allowed.
    const std::string listing = FolderListing(windows_);
    WriteWholeFile(hidden_, "hidden by a test");
    SetFileAttributesA(hidden_.c_str(), FILE_ATTRIBUTE_HIDDEN);
    HWND alert = QuickScan(hiddenCaption_);
    ASSERT_NE(nullptr, alert);
    EXPECT_EQ(hidden_, ControlText(alert, IDC_PATH));
    ASSERT_TRUE(Answer(alert, IDCANCEL));
    EXPECT_EQ(listing, FolderListing(windows_));
    const std::string vault = DataFolder() + "\\vault", script = vault + "\\Restore_bmhidden_e2e.dat.bat";
    EXPECT_EQ("hidden by a test", ReadWholeFile(vault + "\\bmhidden_e2e.dat"));
    ASSERT_TRUE(PathExists(script));
    EXPECT_EQ(1, HistoryLinesWith({"*HIDDEN_DeleteFile\tTYPE_HIDDEN", hidden_}));

    const std::string answer = TempFolder() + "\\answer.txt";
    WriteWholeFile(answer, "\r\n");
    std::string line = "\"" + SystemFolder() + "\\cmd.exe\" /c \"\"" + script + "\" < \"" + answer + "\"\"";
    STARTUPINFOA si = {};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi = {};
    ASSERT_TRUE(CreateProcessA(NULL, &line[0], NULL, NULL, FALSE, CREATE_NO_WINDOW, NULL, NULL, &si, &pi));
    CloseHandle(pi.hThread);
    EXPECT_TRUE(WaitExit(pi.hProcess, 60000));
    EXPECT_EQ("hidden by a test", ReadWholeFile(hidden_));
    DWORD attributes = GetFileAttributesA(hidden_.c_str());
    EXPECT_TRUE(attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_HIDDEN));

    ASSERT_NE(nullptr, alert = QuickScan(hiddenCaption_)) << "back, so asked about again";
    ASSERT_TRUE(Answer(alert, IDOK));
    EXPECT_EQ(nullptr, QuickScan(hiddenCaption_)) << "allowed: not asked again";
    ASSERT_TRUE(StopMonitor(run_));
    ASSERT_TRUE(StartMonitor(run_));
    EXPECT_EQ(nullptr, QuickScan(hiddenCaption_)) << "nor after a restart";
    EXPECT_TRUE(PathExists(hidden_));
}

}  // namespace
