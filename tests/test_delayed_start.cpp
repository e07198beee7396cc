// Delayed start: which programs the timer starts at which step and how, the list, its
// removal and dialog 192; the launcher is a recorder except where the real one is tried.
#include <windows.h>

#include <limits.h>
#include <string.h>

#include <string>
#include <utility>
#include <vector>

#include "common/registry.h"
#include "ui/alert.h"
#include "common/appstate.h"
#include "common/options.h"
#include "monitor/scan_cycle.h"
#include "monitor/timer.h"
#include "resources/resource.h"
#include "startup/delayed_start.h"
#include "common/runlist.h"
#include "startup/startup_actions.h"
#include "support/e2e.h"
#include "support/system_state.h"
#include "support/test_env.h"

// The list the routines under test fill and read.
static OwnedRunList gList;

namespace {

const char kDelay[] = "Software\\Dunmere Works\\Brackmoor\\Delay";

struct Launch {
    std::string command, verb, parameters, directory;
    int show;
};
std::vector<Launch> gLaunches;

int RecordLaunch(const char *command, const char *verb, const char *parameters, const char *directory, int show)
{
    gLaunches.push_back({command, verb, parameters, directory, show});
    return 1;
}

// One delayed program as the companion writes it: its code, its Time and the
// other values given ("OpenAs", "RunAs", "Parameters", ...; empty ones left out).
void PutDelayed(HKEY root, REGSAM view, const std::string &path, const char *code, const char *time,
                std::initializer_list<std::pair<const char *, std::string>> more = {})
{
    RegPut(root, kDelay, path.c_str(), code, view);
    RegPut(root, (std::string(kDelay) + "\\Time").c_str(), path.c_str(), time, view);
    for (const auto &value : more)
        if (!value.second.empty())
            RegPut(root, (std::string(kDelay) + "\\" + value.first).c_str(), path.c_str(), value.second.c_str(), view);
}

class DelayedStartTest : public BrackmoorTest {
protected:
    void SetUp() override
    {
        BrackmoorTest::SetUp();
        gLaunches.clear();
        DelayedLauncher = RecordLaunch;
        giDelayToLaunch = giDelayLaunched = giDelayTicks = giDelayStep = 0;
    }
    void TearDown() override
    {
        DelayedLauncher = LaunchWithShell;
        DelayedStartStep = nullptr;
        giDelayToLaunch = giDelayLaunched = giDelayTicks = giDelayStep = 0;
        BrackmoorTest::TearDown();
    }
    // A file that exists and is not running: the launch only needs it to be there.
    std::string Program(const std::string &name)
    {
        std::string path = TempFolder() + "\\" + name;
        WriteWholeFile(path, "MZ");
        return path;
    }
    // How often the program was launched.
    int Launches(const std::string &path)
    {
        int count = 0;
        for (const Launch &l : gLaunches)   // the program, or the RUNDLL32 form of it
            count += l.command.size() >= path.size() &&
                     SameText(path, l.command.substr(l.command.size() - path.size()));
        return count;
    }
    // The run-list record of the program; code -1 for none.
    RunRecord RecordOf(const std::string &path)
    {
        for (const RunRecord &record : RunRecords(gList))
            if (SameText(record.path, path))
                return record;
        return {"", "", "", "", -1, 0};
    }
};

TEST_F(DelayedStartTest, TheTimerLaunchesEachProgramAtItsStepAndNeverAgain)
{
    std::string early = Program("early.exe"), late = Program("late.exe"), never = Program("never.exe");
    PutDelayed(HKCU, 0, late, "11", "30");
    PutDelayed(HKCU, 0, early, "11", "10");
    PutDelayed(HKCU, 0, never, "11", "15");   // no step of ten reaches it
    InitDelayedStart();
    ASSERT_EQ(3, giDelayToLaunch);
    ASSERT_TRUE(DelayedStartStep == DelayedStartTimer);
    // Driven by the main window's own tick, a step every sixth tick; the scan
    // passes and the express delay are kept out of the way.
    giExpressCount = -1;
    struct Row {
        int ticks, early, late, handled;   // after that many ticks
    } rows[] = {{5, 0, 0, 0}, {6, 1, 0, 1}, {12, 1, 0, 1}, {17, 1, 0, 1}, {18, 1, 1, 3}, {60, 1, 1, 3}};
    int done = 0;
    for (size_t r = 0; r < sizeof(rows) / sizeof(rows[0]); r++) {
        for (; done < rows[r].ticks; done++) {
            giVerifyTicks = -100000;
            OnTimerTick();
        }
        EXPECT_EQ(rows[r].early, Launches(early)) << "row " << r;
        EXPECT_EQ(rows[r].late, Launches(late)) << "row " << r;
        EXPECT_EQ(0, Launches(never)) << "row " << r;
        EXPECT_EQ(rows[r].handled, giDelayLaunched) << "row " << r;
    }
    EXPECT_EQ(3, giDelayStep) << "the steps stop once every program is handled";
}

// The real door, once: a copy of this program (which only waits when it finds the
// sleeper variable, inherited from here) is started through the shell. Running,
// it stands for a program the user started at logon, which is not started twice.
TEST_F(DelayedStartTest, TheRealLaunchThenARunningOrMissingProgramIsHandledWithoutALaunch)
{
    std::string folder = TempFolder() + "\\launch", copy = folder + "\\delayed copy.exe";   // a blank: not split
    std::string missing = TempFolder() + "\\not-there.exe", fresh = Program("fresh.exe");
    CreateDirectoryA(folder.c_str(), NULL);
    ASSERT_TRUE(CopyFileA(ThisProgram().c_str(), copy.c_str(), FALSE));
    DelayedLauncher = LaunchWithShell;
    TraceToTempFile();
    SetEnvironmentVariableA(kSleeperVariable, "1");
    EXPECT_EQ(1, fileLaunchDelayedProgram(copy.c_str(), "-x", 11, 0, 1));
    SetEnvironmentVariableA(kSleeperVariable, NULL);
    EXPECT_TRUE(TraceHas("fileLaunchDelayedProgram ShellExecute = TRUE"));
    DWORD pid = 0;
    for (int wait = 0; wait < 100 && !(pid = FindProcessOfProgram(copy.c_str())); wait++)
        Sleep(50);
    ASSERT_NE(0u, pid) << "the copy is not running";
    HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid);

    DelayedLauncher = RecordLaunch;
    for (const std::string &path : {copy, missing, fresh})
        PutDelayed(HKCU, 0, path, "11", "10");
    InitDelayedStart();
    EXPECT_EQ(3, giDelayToLaunch);
    DelayedStartTimer(10);
    EXPECT_TRUE(TerminateProcess(process, 0));
    CloseHandle(process);
    // Wine lets the copy's file and working folder go a little after it ended.
    for (int wait = 0; wait < 200 && (DeleteFileA(copy.c_str()), !RemoveDirectoryA(folder.c_str())); wait++)
        Sleep(50);
    ASSERT_EQ(1u, gLaunches.size()) << "only the program that is neither running nor missing";
    EXPECT_EQ(1, Launches(fresh));
    EXPECT_EQ(3, giDelayLaunched);
    // Handled is handled: no later step starts anything, not even by retry.
    DelayedStartTimer(20);
    DelayedStartTimer(10);
    EXPECT_EQ(1u, gLaunches.size());
    // The launch itself starts no file that is not there.
    EXPECT_EQ(0, fileLaunchDelayedProgram(missing.c_str(), "", 11, 0, 0));
    EXPECT_EQ(1u, gLaunches.size());
}

TEST_F(DelayedStartTest, WindowStateRightsAndTheRundllFormOfTheLaunch)
{
    struct Row {
        const char *openAs, *runAs, *applet, *code;   // "": the value left out
        int show;
        const char *verb;
        bool rundll;
    } rows[] = {
        {"1", "", "", "11", SW_MINIMIZE, "open", false},   {"2", "", "", "11", SW_MAXIMIZE, "open", false},
        {"0", "", "", "11", SW_SHOWNORMAL, "open", false}, {"3", "", "", "11", SW_SHOWNORMAL, "open", false},
        {"5", "", "", "11", SW_SHOWNORMAL, "open", false}, {"-1", "", "", "11", SW_SHOWNORMAL, "open", false},
        {"", "1", "", "11", SW_SHOWNORMAL, "runas", false}, {"", "11", "", "11", SW_SHOWNORMAL, "open", false},
        {"", "0", "", "11", SW_SHOWNORMAL, "open", false}, {"", "", "1", "11", SW_SHOWNORMAL, "open", true},
        {"", "", "", "-11", SW_SHOWNORMAL, "open", true},
    };
    for (size_t r = 0; r < sizeof(rows) / sizeof(rows[0]); r++) {
        std::string path = Program("how" + std::to_string(r) + (rows[r].rundll ? ".dll" : ".exe"));
        PutDelayed(HKCU, 0, path, rows[r].code, "10",
                   {{"OpenAs", rows[r].openAs}, {"RunAs", rows[r].runAs}, {"Applet", rows[r].applet},
                    {"Parameters", "-tray /q"}});
        gLaunches.clear();
        giDelayLaunched = 0;
        giDelayToLaunch = 1;
        DelayedStartTimer(10);
        ASSERT_EQ(1u, gLaunches.size()) << "row " << r;
        const Launch &l = gLaunches[0];
        EXPECT_EQ(rows[r].show, l.show) << "row " << r;
        EXPECT_EQ(rows[r].verb, l.verb) << "row " << r;
        EXPECT_TRUE(SameText(rows[r].rundll ? "RUNDLL32.EXE " + path : path, l.command)) << "row " << r << l.command;
        EXPECT_EQ("-tray /q", l.parameters) << "row " << r;
        EXPECT_TRUE(SameText(TempFolder(), l.directory)) << "row " << r << ": " << l.directory;
        RegDeleteTreeView(HKCU, kDelay);
    }
}

// The list and the timer read each entry under the root of its code; a low
// machine code of the 32-bit list is a WOW64 one, raised by 20 and written back.
TEST_F(DelayedStartTest, TheListAndTheTimerReadEachEntryWhereItsCodeSays)
{
    struct Root {
        int code;
        HKEY root;
        REGSAM view;   // on 64-bit Windows
    } roots[] = {
        {1, HKLM, k64},  {10, HKLM, k64}, {-3, HKLM, k64}, {21, HKLM, k32},  {30, HKLM, k32}, {-25, HKLM, k32},
        {11, HKCU, 0},   {20, HKCU, 0},   {31, HKCU, 0},   {200, HKCU, 0},   {0, HKCU, 0},    {INT_MIN, HKCU, 0},
    };
    ASSERT_TRUE(Is64BitWindows);
    for (size_t r = 0; r < sizeof(roots) / sizeof(roots[0]); r++) {
        REGSAM view = 0xDEAD;
        EXPECT_EQ(roots[r].root, DelayRootOfCode(roots[r].code, &view)) << "code " << roots[r].code;
        EXPECT_EQ(roots[r].view, view) << "code " << roots[r].code;
    }
    struct Row {
        HKEY root;
        REGSAM view;
        const char *code, *stored;
        int recordCode;
        bool launched;
    } rows[] = {
        {HKLM, k64, "5", "5", 5, true},       {HKLM, k64, "3", "3", 3, true},     {HKLM, k32, "3", "23", 23, true},
        {HKLM, k32, "-1", "-21", -21, true},  {HKLM, k32, "25", "25", 25, true},  {HKLM, k32, "7", "7", 7, false},
        {HKCU, 0, "12", "12", 12, true},      {HKCU, 0, "5", "5", 5, false},      {HKLM, k64, "14", "14", 14, false},
    };
    const size_t count = sizeof(rows) / sizeof(rows[0]);
    for (size_t r = 0; r < count; r++)
        PutDelayed(rows[r].root, rows[r].view, Program("root" + std::to_string(r) + ".exe"), rows[r].code, "10");
    ASSERT_EQ((int)count, ReadDelayList(gList));
    for (size_t r = 0; r < count; r++) {
        std::string path = TempFolder() + "\\root" + std::to_string(r) + ".exe";
        EXPECT_EQ(rows[r].recordCode, RecordOf(path).code) << "row " << r;
        EXPECT_EQ(rows[r].stored, RegText(rows[r].root, kDelay, path.c_str(), rows[r].view)) << "row " << r;
    }
    InitDelayedStart();
    EXPECT_EQ((int)count, giDelayToLaunch);
    DelayedStartTimer(10);
    for (size_t r = 0; r < count; r++)
        EXPECT_EQ(rows[r].launched ? 1 : 0, Launches(TempFolder() + "\\root" + std::to_string(r) + ".exe"))
            << "row " << r;
}

TEST_F(DelayedStartTest, ReadDelayListBuildsOneRecordPerProgram)
{
    std::string titled = Program("titled.exe"), bare = Program("bare.exe"), shortcut = TempFolder() + "\\Bare Tool.lnk";
    std::string versioned = TempFolder() + "\\versioned.exe";
    ASSERT_TRUE(CopyFileA(ThisProgram().c_str(), versioned.c_str(), FALSE));
    PutDelayed(HKCU, 0, titled, "11", "30", {{"Title", "My Titled Tool"}});
    PutDelayed(HKCU, 0, bare, "200", "20", {{"Shortcuts", shortcut}, {"Applet", "1"}});
    PutDelayed(HKLM, k64, versioned, "4", "10");
    struct Row {
        std::string path, name, sourcePath, details;
        int code, extra;
    } rows[] = {
        {titled, "My Titled Tool", "My Titled Tool", "", 11, 30},
        // No title and no version: the file name; code 200 keeps its shortcut; an applet's step is negative.
        {bare, "bare.exe", shortcut, "", 200, -20},
        // No title: the product name, and the version as details.
        {versioned, "Brackmoor", "Brackmoor", "33.1.2015.0", 4, 10},
    };
    ASSERT_EQ(3, ReadDelayList(gList));
    for (size_t r = 0; r < sizeof(rows) / sizeof(rows[0]); r++) {
        const RunRecord record = RecordOf(rows[r].path);
        ASSERT_NE(-1, record.code) << "row " << r;
        EXPECT_EQ(rows[r].name, record.name) << "row " << r;
        EXPECT_TRUE(SameText(rows[r].sourcePath, record.source)) << "row " << r << ": " << record.source;
        EXPECT_EQ(rows[r].details, record.details) << "row " << r;
        EXPECT_EQ(rows[r].code, record.code) << "row " << r;
        EXPECT_EQ(rows[r].extra, record.extra) << "row " << r;
    }
}

TEST_F(DelayedStartTest, RemoveDelayedProgramClearsEveryKeyInBothViewsAndNothingElse)
{
    const char *subkeys[] = {"", "\\Time", "\\Parameters", "\\Shortcuts", "\\Applet", "\\Title", "\\OpenAs", "\\RunAs"};
    const std::pair<HKEY, REGSAM> places[] = {{HKLM, k32}, {HKLM, k64}, {HKCU, 0}};
    for (const auto &p : places)
        for (const char *sub : subkeys)
            for (const char *path : {"C:\\Tools\\gone.exe", "C:\\Tools\\kept.exe"})
                RegPut(p.first, (kDelay + std::string(sub)).c_str(), path, "1", p.second);
    // The machine's list in both views, and nothing of the user's; then the user's.
    for (HKEY root : {HKLM, HKCU}) {
        EXPECT_GT(RemoveDelayedProgram("C:\\Tools\\gone.exe", root), 0);
        for (const auto &p : places)
            for (const char *sub : subkeys) {
                std::string key = kDelay + std::string(sub);
                bool gone = p.first == HKLM || root == HKCU;
                EXPECT_EQ(!gone, RegHasValue(p.first, key.c_str(), "C:\\Tools\\gone.exe", p.second)) << key << p.second;
                EXPECT_TRUE(RegHasValue(p.first, key.c_str(), "C:\\Tools\\kept.exe", p.second)) << key << p.second;
            }
    }
    EXPECT_EQ(0, RemoveDelayedProgram("C:\\Tools\\gone.exe", HKCU)) << "nothing left to remove";
    EXPECT_EQ(0, RemoveDelayedProgram("", HKCU));
}

TEST_F(DelayedStartTest, DelayAlertShowsTheProgramAndAnswersYesNoOrCloseAsAccept)
{
    RunStruct entry = {};
    std::string path = ThisProgram();
    strcpy(entry.name, "Delayed Tool");
    strcpy(entry.path, path.c_str());
    entry.code = 11;
    // The button pressed (Esc or the close box: IDCANCEL), and the answer.
    const int rows[][2] = {{IDYES, IDYES}, {IDNO, IDNO}, {IDCANCEL, IDYES}};
    for (size_t r = 0; r < sizeof(rows) / sizeof(rows[0]); r++) {
        RegDeleteTreeView(HKCU, BRACKMOOR_KEY);
        RegPut(HKCU, BRACKMOOR_KEY, "xPosAlert", "53");
        RegPut(HKCU, BRACKMOOR_KEY, "yPosAlert", "59");
        RegPut(HKCU, BRACKMOOR_KEY, "xDefaultWarning", "300");
        RegPut(HKCU, BRACKMOOR_KEY, "yDefaultWarning", "310");
        DialogDriver driver(std::vector<std::vector<int>>{{rows[r][0]}});
        INT_PTR result = DialogBoxParamA(hInstance, MAKEINTRESOURCEA(IDD_DELAYALERT), NULL, DelayAlertDlgProc,
                                         (LPARAM)&entry);
        std::vector<SeenDialog> seen = driver.Stop();
        EXPECT_EQ(rows[r][1], result) << "row " << r;
        ASSERT_EQ(1u, seen.size()) << "row " << r;
        // Where the last alert was left (not the notices' place), and its texts.
        EXPECT_EQ(LangText(1023) + "|" + LangText(1022) + "|" + path + "|53,59",
                  seen[0].caption + "|" + seen[0].message + "|" + seen[0].path + "|" + std::to_string(seen[0].at.x) +
                      "," + std::to_string(seen[0].at.y)) << "row " << r;
        for (UINT id : {719u, 720u, 641u})
            EXPECT_NE(std::string::npos, seen[0].texts.find(LangText(id))) << "row " << r << " string " << id;
        // Saved into the alert family on the way out; the notices' stays as it was.
        EXPECT_TRUE(RegHasValue(HKCU, BRACKMOOR_KEY, "dxAlert")) << "row " << r;
        EXPECT_EQ("300", RegText(HKCU, BRACKMOOR_KEY, "xDefaultWarning")) << "row " << r;
        EXPECT_EQ(0, bMsgOpen) << "row " << r;
    }
}

}  // namespace
