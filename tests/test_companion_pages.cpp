// The companion's list pages driven from outside as a user drives them; the registry,
// files, processes and history read back directly.
#include <windows.h>

#include <string>
#include <vector>

#include "common/history.h"
#include "common/options.h"
#include "companion/companion_res.h"
#include "startup/delayed_start.h"
#include "startup/locations.h"
#include "startup/startup_actions.h"
#include "support/companion_ui.h"
#include "support/e2e.h"
#include "support/system_state.h"
#include "support/test_env.h"

namespace {

const char kCompanion[] = "BrackmoorEx.exe";
const char kTitle[] = "Brackmoor Explorer";
// Cold Wine starts and a monitor's pass take long on a loaded machine.
const DWORD kStartMs = 30000, kActMs = 30000;

enum { NAME, COMMAND, LOCATION, STATE, SIGNATURE = 6 };   // startup page
enum { TITLE, PROGRAM, TIME };                           // delayed start page

class CompanionPages : public StartupPlacesTest {
protected:
    void SetUp() override
    {
        KillProgramsNamed(kCompanion);
        StartupPlacesTest::SetUp();
        folder_ = TempFolder();
        self_ = ThisProgram();
    }
    void TearDown() override
    {
        KillProgramsNamed(kCompanion);
        StopMonitor(run_);
        for (const std::string &copy : copies_)
            KillProgramsNamed(copy.c_str());
        StartupPlacesTest::TearDown();
    }
    // A copy of this test program under the name: a real file to list and start.
    std::string Program(const std::string &name)
    {
        std::string path = folder_ + "\\" + name;
        EXPECT_TRUE(CopyFileA(self_.c_str(), path.c_str(), FALSE)) << path;
        copies_.push_back(name);
        return path;
    }
    HWND Open(const std::string &args)
    {
        HANDLE process = nullptr;
        HWND window = StartCompanionWindow(args, &process, kStartMs);
        if (process)
            CloseHandle(process);
        EXPECT_NE(nullptr, window) << "no companion window after " << args;
        return window;
    }
    // A second start that hands its switch to the open companion and ends.
    void HandOver(const std::string &args)
    {
        EXPECT_EQ(0u, RunProgramWait(kCompanion, args, kActMs)) << args;
    }
    // The companion's message box, answered with the button.
    void Answer(int button)
    {
        HWND box = WaitForDialog(kTitle, kActMs);
        ASSERT_NE(nullptr, box) << "no question from the companion";
        PressButton(box, button);
    }
    // The row whose cell of the column holds part, chosen as a click chooses it.
    int Choose(HWND list, size_t column, const std::string &part)
    {
        int row = FindRow(ListViewRows(list), column, part);
        EXPECT_TRUE(row >= 0 && SelectRow(list, row)) << "no row with " << part;
        return row;
    }
    // Waits until the startup row of the program shows the state.
    ::testing::AssertionResult StateBecomes(HWND list, const std::string &program, const std::string &state)
    {
        std::string seen = "<no row>";
        for (DWORD start = GetTickCount(); GetTickCount() - start < kActMs; Sleep(100)) {
            ListRows rows = ListViewRows(list);
            int row = FindRow(rows, COMMAND, program);
            seen = row >= 0 ? rows[row][STATE] : "<no row>";
            if (seen == state)
                return ::testing::AssertionSuccess();
        }
        HWND box = WaitForDialog(kTitle, 0);
        return ::testing::AssertionFailure() << program << " is " << seen << ", not " << state
                                             << (box ? "; the companion says: " + DialogTexts(box) : "");
    }
    // The delayed-start editor opened by a button: the start time typed, OK pressed.
    void DelayWithTime(const char *time)
    {
        HWND editor = WaitForDialog("Delayed Start", kActMs);
        ASSERT_NE(nullptr, editor);
        SendMessageA(GetDlgItem(editor, IDC_DELAYEDIT_TIME), WM_SETTEXT, 0, (LPARAM)time);
        PressButton(editor, IDOK);
    }

    MonitorRun run_;
    std::string folder_, self_;
    std::vector<std::string> copies_;
};

TEST_F(CompanionPages, StartupPageListsEveryKindAndItsActionsChangeOnlyTheEntry)
{
    std::string user = Program("bm user.exe");
    std::string userData = "\"" + user + "\" -x";
    Put(HKEY_CURRENT_USER, kRun, "BmUser", userData);
    Put(HKEY_LOCAL_MACHINE, kRun, "BmMachine", Program("bmmachine.exe"));
    Put(HKEY_LOCAL_MACHINE, kRun32, "BmWow", Program("bmwow.exe"));
    std::string startup = UseStartupFolder();
    ASSERT_TRUE(MakeShortcut(startup + "\\BmLink.lnk", Program("bmlink.exe")));
    WriteProfileStringA("windows", "load", Program("bmload.exe").c_str());
    std::string disabled = folder_ + "\\bmdisabled.exe";
    Put(HKEY_CURRENT_USER, kRun, "BmDisabled", disabled);
    std::string signedCopy = folder_ + "\\bmsigned.exe";
    ASSERT_TRUE(CopyFileA((BinFolder() + "\\signed\\bmsigned.exe").c_str(), signedCopy.c_str(), FALSE));
    Put(HKEY_CURRENT_USER, kRun, "BmSigned", "\"" + signedCopy + "\" /tray");
    ASSERT_EQ(1, DisableRunProgram("BmDisabled", disabled.c_str(), "", CODE_CURRENT_RUN));

    HWND window = Open("-START");
    ASSERT_NE(nullptr, window);
    HWND page = CompanionPage(window, IDC_PAGE_STARTUP), list = PageList(window, IDC_PAGE_STARTUP);
    // The signature column: copies of this program are not signed, the program signed
    // for the run has a root installed nowhere, a missing file has no signature to tell.
    const std::string unsignedText = LangText(4115);
    const struct {
        const char *file, *place, *notPlace, *state;
        std::string signature;
    } rows[] = {
        {"bm user.exe", "HKCU", "32-bit", "Enabled", unsignedText},
        {"bmmachine.exe", "HKLM", "32-bit", "Enabled", unsignedText},
        {"bmwow.exe", "HKLM 32-bit", "HKCU", "Enabled", unsignedText},
        {"bmlink.exe", "Startup folder", "HKLM", "Enabled", unsignedText},
        {"bmload.exe", "win.ini load", "HKLM", "Enabled", unsignedText},
        {"bmdisabled.exe", "HKCU", "32-bit", "Disabled", LangText(4116)},
        {"bmsigned.exe", "HKCU", "32-bit", "Enabled",
         LangFilled(4112, ReadWholeFile(BinFolder() + "\\signed\\signer.txt"), "")},
    };
    ListRows shown = ListViewRows(list);
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); i++) {
        int row = FindRow(shown, COMMAND, rows[i].file);
        ASSERT_GE(row, 0) << "row " << i << ": " << rows[i].file << " is not listed";
        EXPECT_NE(std::string::npos, shown[row][LOCATION].find(rows[i].place)) << "row " << i << ": " << shown[row][LOCATION];
        EXPECT_EQ(std::string::npos, shown[row][LOCATION].find(rows[i].notPlace)) << "row " << i << ": " << shown[row][LOCATION];
        EXPECT_EQ(rows[i].state, shown[row][STATE]) << "row " << i;
        EXPECT_EQ(rows[i].signature, shown[row][SIGNATURE]) << "row " << i;
    }
    EXPECT_EQ("Startup entries: " + std::to_string(shown.size()), CompanionStatus(window));

    // Disable then Enable: the Run key and the Disabled store end exactly as they were.
    auto keys = [] {
        return std::vector<KeyValueMap>{RegKeyValues(HKEY_CURRENT_USER, kRun),
                                        RegKeyValues(HKEY_LOCAL_MACHINE, DISABLED_MARKER_KEY),
                                        RegKeyValues(HKEY_LOCAL_MACHINE, DISABLED_MARKER_KEY "\\Run")};
    };
    std::vector<KeyValueMap> before = keys();
    Choose(list, COMMAND, "bm user.exe");
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(page, IDC_START_ENABLE)));
    PressButton(page, IDC_START_DISABLE);
    ASSERT_TRUE(StateBecomes(list, "bm user.exe", "Disabled"));
    EXPECT_FALSE(RegHasValue(HKEY_CURRENT_USER, kRun, "BmUser", k64));
    EXPECT_EQ(userData, RegText(HKEY_LOCAL_MACHINE, DISABLED_MARKER_KEY "\\Run", "BmUser"));
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(page, IDC_START_ENABLE))) << "the disabled row stays chosen";
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(page, IDC_START_DISABLE)));
    PressButton(page, IDC_START_ENABLE);
    ASSERT_TRUE(StateBecomes(list, "bm user.exe", "Enabled"));
    EXPECT_EQ(before, keys());
    EXPECT_EQ("11", RegText(HKEY_CURRENT_USER, STARTUP_BASELINE_KEY, (user + " -x").c_str())) << "known once back";
    EXPECT_EQ(1, HistoryLinesWith({"START_Disable", "BmUser"}));
    EXPECT_EQ(1, HistoryLinesWith({"START_Restore", "BmUser"}));

    // Delete, after the question: only that value goes, and the history says so.
    KeyValueMap machine = RegKeyValues(HKEY_LOCAL_MACHINE, kRun);
    machine.erase("BmMachine");
    std::vector<KeyValueMap> others = {RegKeyValues(HKEY_CURRENT_USER, kRun), RegKeyValues(HKEY_LOCAL_MACHINE, kRun32)};
    Choose(list, COMMAND, "bmmachine.exe");
    PressButton(page, IDC_START_DELETE);
    Answer(IDYES);
    EXPECT_TRUE(WaitForRow(list, COMMAND, "bmmachine.exe", false, kActMs));
    EXPECT_EQ(machine, RegKeyValues(HKEY_LOCAL_MACHINE, kRun));
    EXPECT_EQ(others, (std::vector<KeyValueMap>{RegKeyValues(HKEY_CURRENT_USER, kRun),
                                                RegKeyValues(HKEY_LOCAL_MACHINE, kRun32)}));
    EXPECT_EQ(1, HistoryLinesWith({"*START_Remove", "BmMachine"}));
}

TEST_F(CompanionPages, DelayMovesAnEntryToTheListAndMoveBackRestoresIt)
{
    std::string program = Program("bm delayed.exe");
    std::string data = "\"" + program + "\" -x";
    Put(HKEY_CURRENT_USER, kRun, "BmLater", data);
    HWND window = Open("-START");
    ASSERT_NE(nullptr, window);
    HWND list = PageList(window, IDC_PAGE_STARTUP);
    Choose(list, COMMAND, "bm delayed.exe");
    PressButton(CompanionPage(window, IDC_PAGE_STARTUP), IDC_START_DELAY);
    DelayWithTime("20");
    ASSERT_TRUE(StateBecomes(list, "bm delayed.exe", "Delayed"));
    EXPECT_FALSE(RegHasValue(HKEY_CURRENT_USER, kRun, "BmLater", k64));
    const struct { const char *key, *data; } stored[] = {
        {DELAY_KEY, "11"}, {DELAY_TIME_KEY, "20"}, {DELAY_TITLE_KEY, "BmLater"}, {DELAY_PARAMETERS_KEY, "-x"},
    };
    for (const auto &value : stored)
        EXPECT_EQ(value.data, RegText(HKEY_CURRENT_USER, value.key, program.c_str())) << value.key;
    // Should it put itself back, the monitor asks whether it is to stay delayed.
    std::string baseline = program + " -x";
    EXPECT_EQ("1103", RegText(HKEY_CURRENT_USER, STARTUP_BASELINE_KEY, baseline.c_str()));

    HandOver("-DELAY");
    HWND delays = PageList(window, IDC_PAGE_DELAY);
    ListRows rows = ListViewRows(delays);
    int row = FindRow(rows, PROGRAM, "bm delayed.exe");
    ASSERT_GE(row, 0);
    EXPECT_EQ("20", rows[row][TIME]);
    Choose(delays, PROGRAM, "bm delayed.exe");
    PressButton(CompanionPage(window, IDC_PAGE_DELAY), IDC_DELAY_MOVEBACK);
    EXPECT_TRUE(WaitForRow(delays, PROGRAM, "bm delayed.exe", false, kActMs));
    EXPECT_EQ(data, RegText(HKEY_CURRENT_USER, kRun, "BmLater", k64));
    EXPECT_EQ("11", RegText(HKEY_CURRENT_USER, STARTUP_BASELINE_KEY, baseline.c_str()));
    for (const auto &value : stored)
        EXPECT_FALSE(RegHasValue(HKEY_CURRENT_USER, value.key, program.c_str())) << value.key;
}

TEST_F(CompanionPages, RunningProgramsPageEndsTheChosenProcess)
{
    DWORD pid = 0;
    HANDLE task = StartSleeper(Program("bmtask.exe"), &pid);
    ASSERT_NE(nullptr, task);

    HWND window = Open("-TASK");
    ASSERT_NE(nullptr, window);
    HWND list = PageList(window, IDC_PAGE_TASKS);
    ListRows rows = ListViewRows(list);
    int row = FindRow(rows, 1, "bmtask.exe");
    ASSERT_GE(row, 0);
    EXPECT_EQ(std::to_string(pid), rows[row][2]);
    Choose(list, 1, "bmtask.exe");
    PressButton(CompanionPage(window, IDC_PAGE_TASKS), IDC_TASK_END);
    Answer(IDYES);
    EXPECT_TRUE(WaitExit(task, kActMs));
    CloseHandle(task);
    EXPECT_TRUE(WaitForRow(list, 1, "bmtask.exe", false, kActMs));
    EXPECT_EQ(1, HistoryLinesWith({"\tTASK_Kill\tINFO_TASK\t"}));
}

// CSV as the export writes it: fields separated by commas, quoted ones with their
// quotes doubled, records ending in CR LF.
ListRows ParseCsv(const std::string &text)
{
    ListRows records(1);
    std::string field;
    bool quoted = false;
    for (size_t i = 0; i < text.size(); i++) {
        char c = text[i];
        if (quoted && c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
            field += '"';
            i++;
        } else if (c == '"') {
            quoted = !quoted;
        } else if (!quoted && c == ',') {
            records.back().push_back(field);
            field.clear();
        } else if (!quoted && c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            records.back().push_back(field);
            field.clear();
            records.emplace_back();
            i++;
        } else {
            field += c;
        }
    }
    records.pop_back();     // after the last record's end
    return records;
}

// The file dialog's name box: an edit in old templates, a combo box in new ones.
void TypeFileName(HWND dialog, const std::string &path)
{
    for (int id : {0x47c, 0x480}) {
        HWND box = GetDlgItem(dialog, id);
        if (box)
            SendMessageA(box, WM_SETTEXT, 0, (LPARAM)path.c_str());
    }
}

TEST_F(CompanionPages, BesideTheMonitorADelayedProgramStartsAndTheHistoryAndResetAgree)
{
    PrepareMonitor({"SuppressExtraAlerts", "ShowAlerts", "HideStartup", "Sound"}, {"RealtimeStartup", "Start"});
    std::string delayed = Program("bmdelayed.exe");
    Put(HKEY_CURRENT_USER, kRun, "BmDelayed", "\"" + delayed + "\"");
    AcceptStartupEntriesPresent();

    // Delayed by the companion before the monitor starts, which counts its list then.
    HWND window = Open("-START");
    ASSERT_NE(nullptr, window);
    Choose(PageList(window, IDC_PAGE_STARTUP), COMMAND, "bmdelayed.exe");
    PressButton(CompanionPage(window, IDC_PAGE_STARTUP), IDC_START_DELAY);
    DelayWithTime("10");
    ASSERT_TRUE(StateBecomes(PageList(window, IDC_PAGE_STARTUP), "bmdelayed.exe", "Delayed"));
    HandOver("-EXIT");

    SetEnvironmentVariableA(kSleeperVariable, "1");     // what the monitor starts only waits
    ASSERT_TRUE(StartMonitor(run_));
    SetEnvironmentVariableA(kSleeperVariable, NULL);
    // Time 10 is the first step of the timer, six ticks after its start.
    EXPECT_TRUE(WaitUntil([] { return CountProcessesNamed("bmdelayed.exe") == 1; }, kPassWait))
        << "the delayed program was not started";
    int passes = QuickScansDone();
    SendMonitorCommand(run_, 6074);
    std::string caption = LangText(718) + " - " + LangText(606);
    ASSERT_TRUE(WaitQuickScanDone(passes, kPassWait, caption.c_str())) << "nothing is new to the monitor";

    // A reject by the monitor, and a line whose path holds quotes, a comma and a tab.
    Put(HKEY_CURRENT_USER, kRun, "BmReject", Program("bmreject.exe") + " -now");
    passes = QuickScansDone();
    SendMonitorCommand(run_, 6074);
    HWND alert = WaitForDialog(caption.c_str(), kPassWait);
    ASSERT_NE(nullptr, alert);
    PressToClose(alert, 7, kPassWait);
    ASSERT_TRUE(WaitQuickScanDone(passes, kPassWait, caption.c_str()));
    WriteLog(LOG_START_REMOVE, CODE_CURRENT_RUN, "BmOdd", "C:\\odd \"quoted\",comma\ttab.exe", "its detail");

    window = Open("-RECENT");
    ASSERT_NE(nullptr, window);
    ListRows rows = ListViewRows(PageList(window, IDC_PAGE_HISTORY));
    ASSERT_EQ(HistoryLines().size(), rows.size());
    ASSERT_FALSE(rows.empty());
    EXPECT_EQ((std::vector<std::string>{"*START_Remove", "CURRENT_RUN", "BmOdd", "C:\\odd \"quoted\",comma\ttab.exe",
                                        "its detail"}),
              std::vector<std::string>(rows[0].begin() + 1, rows[0].end()))
        << "newest first, the tab kept in the path";
    int removal = FindRow(rows, 3, "BmReject");
    ASSERT_GE(removal, 0);
    EXPECT_EQ("*START_Remove", rows[removal][1]);
    EXPECT_NE(std::string::npos, rows[removal][4].find("bmreject.exe -now"));
    EXPECT_GT(FindRow(rows, 1, "START_Alert"), removal) << "the alert came before the removal";

    std::string csv = folder_ + "\\history.csv";
    PressButton(CompanionPage(window, IDC_PAGE_HISTORY), IDC_HISTORY_EXPORT);
    HWND save = WaitForDialog("Export the history", kActMs);
    ASSERT_NE(nullptr, save);
    TypeFileName(save, csv);
    PressButton(save, IDOK);
    WaitUntil([&] { return PathExists(csv); }, kActMs);
    Sleep(500);     // written in one go once created
    ListRows parsed = ParseCsv(ReadWholeFile(csv));
    ASSERT_EQ(rows.size() + 1, parsed.size());
    EXPECT_EQ("Date and time", parsed[0][0]);
    EXPECT_EQ(rows, ListRows(parsed.begin() + 1, parsed.end()));

    // Reset while the monitor's passes are held (game mode): its next pass is silent.
    SendMessageTimeoutA(run_.window, WM_COMMAND, 6073, 0, SMTO_ABORTIFHUNG, kActMs, nullptr);
    std::string added = Program("bmreset.exe");
    Put(HKEY_CURRENT_USER, kRun, "BmReset", added);
    HandOver("-RESET");
    PressButton(CompanionPage(window, IDC_PAGE_RESET), IDC_RESET_RUN);
    Answer(IDYES);
    // Done when the page has read the rebuilt baselines back.
    WaitUntil([&] { return CompanionStatus(window).find("read again") != std::string::npos; }, kPassWait);
    EXPECT_TRUE(RegHasValue(HKEY_CURRENT_USER, STARTUP_BASELINE_KEY, added.c_str())) << "the reset took the new entry in";
    SendMessageTimeoutA(run_.window, WM_COMMAND, 6073, 0, SMTO_ABORTIFHUNG, kActMs, nullptr);
    passes = QuickScansDone();
    SendMonitorCommand(run_, 6074);
    EXPECT_TRUE(WaitQuickScanDone(passes, kPassWait, caption.c_str())) << "the pass after the reset alerted";
    EXPECT_EQ(0, HistoryLinesWith({"START_Alert", "BmReset"}));
}

}  // namespace
