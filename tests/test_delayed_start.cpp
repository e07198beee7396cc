// Delayed start: which programs the timer starts at which step, how they are
// started, what the list reads like, the removal from the list, and dialog 192.
// The launcher is replaced by a recorder, so nothing is really started.
#include <windows.h>

#include <limits.h>
#include <string.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "common/registry.h"
#include "common/text.h"
#include "common/tracelog.h"
#include "monitor/alert.h"
#include "monitor/appstate.h"
#include "monitor/options.h"
#include "monitor/scan_cycle.h"
#include "monitor/timer.h"
#include "resources/resource.h"
#include "startup/delayed_start.h"
#include "startup/runlist.h"
#include "startup/startup_actions.h"
#include "support/e2e.h"
#include "support/system_state.h"
#include "support/test_env.h"

// A copy of this program started as "an already running program" only waits to be
// ended; it never reaches the test runner.

namespace {

const char kDelay[] = "Software\\Dunmere Works\\Brackmoor\\Delay";
const WORD kVersionResource = 1;    // the id of the version record
const WORD kVersionType = 16;       // RT_VERSION
const REGSAM k32 = KEY_WOW64_32KEY, k64 = KEY_WOW64_64KEY;

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

bool SameText(const std::string &a, const std::string &b)
{
    return CompareStringA(LOCALE_SYSTEM_DEFAULT, NORM_IGNORECASE, a.c_str(), -1, b.c_str(), -1) == CSTR_EQUAL;
}

bool ContainsText(const std::string &text, const std::string &part)
{
    std::string t(text), p(part);
    CharUpperA(&t[0]);
    CharUpperA(&p[0]);
    return t.find(p) != std::string::npos;
}

std::string Key(const char *sub)
{
    return sub[0] ? std::string(kDelay) + "\\" + sub : std::string(kDelay);
}

std::string LangText(UINT id)
{
    char text[1024] = "";
    LoadStringA(GetModuleHandleA(NULL), id, text, sizeof(text));
    return text;
}

std::string ThisProgram()
{
    char path[MAX_PATH];
    DWORD n = GetModuleFileNameA(NULL, path, sizeof(path));
    return std::string(path, n);
}

// One delayed program as the companion writes it. Empty texts are left out.
struct Delayed {
    HKEY root;
    REGSAM view;
    std::string path;
    std::string code, time;
    std::string openAs, runAs, parameters, applet, title, shortcut;
};

Delayed Entry(HKEY root, REGSAM view, const std::string &path, const char *code, const char *time)
{
    Delayed d{};
    d.root = root;
    d.view = view;
    d.path = path;
    d.code = code;
    d.time = time;
    return d;
}

void PutDelayed(const Delayed &d)
{
    const char *name = d.path.c_str();
    RegPut(d.root, Key("").c_str(), name, d.code.c_str(), d.view);
    if (!d.time.empty())
        RegPut(d.root, Key("Time").c_str(), name, d.time.c_str(), d.view);
    if (!d.openAs.empty())
        RegPut(d.root, Key("OpenAs").c_str(), name, d.openAs.c_str(), d.view);
    if (!d.runAs.empty())
        RegPut(d.root, Key("RunAs").c_str(), name, d.runAs.c_str(), d.view);
    if (!d.parameters.empty())
        RegPut(d.root, Key("Parameters").c_str(), name, d.parameters.c_str(), d.view);
    if (!d.applet.empty())
        RegPut(d.root, Key("Applet").c_str(), name, d.applet.c_str(), d.view);
    if (!d.title.empty())
        RegPut(d.root, Key("Title").c_str(), name, d.title.c_str(), d.view);
    if (!d.shortcut.empty())
        RegPut(d.root, Key("Shortcuts").c_str(), name, d.shortcut.c_str(), d.view);
}

class DelayedStartTest : public BrackmoorTest {
protected:
    void SetUp() override
    {
        BrackmoorTest::SetUp();
        gLaunches.clear();
        DelayedLauncher = RecordLaunch;
        DelayedStartStep = nullptr;
        giDelayToLaunch = giDelayLaunched = giDelayTicks = giDelayStep = 0;
        bMsgOpen = 0;
        AlertCount = 0;
    }
    void TearDown() override
    {
        DelayedLauncher = LaunchWithShell;
        DelayedStartStep = nullptr;
        giDelayToLaunch = giDelayLaunched = giDelayTicks = giDelayStep = 0;
        BrackmoorTest::TearDown();
    }
    // A file that exists and is not running: the launch only needs it to be there.
    std::string Program(const char *name)
    {
        std::string path = TempFolder() + "\\" + name;
        WriteWholeFile(path, "MZ");
        return path;
    }
    // The delayed programs of the user's list, as the timer's counters see them.
    void StartCounting()
    {
        InitDelayedStart();
    }
    const Launch *LaunchOf(const std::string &path)
    {
        for (const Launch &l : gLaunches)
            if (ContainsText(l.command, path))
                return &l;
        return nullptr;
    }
};

// ---------------------------------------------------------------------------
// When the timer starts a program

TEST_F(DelayedStartTest, TheTimerLaunchesAProgramAtItsStepAndNeverAgain)
{
    std::string late = Program("late.exe");
    std::string early = Program("early.exe");
    PutDelayed(Entry(HKEY_CURRENT_USER, 0, late, "11", "30"));
    PutDelayed(Entry(HKEY_CURRENT_USER, 0, early, "11", "10"));
    StartCounting();
    ASSERT_EQ(2, giDelayToLaunch);
    ASSERT_TRUE(DelayedStartStep == DelayedStartTimer);

    // Driven by the main window's own tick: a step every sixth tick. Passes and
    // the express delay are kept out of the way.
    giVerifyTicks = -100000;
    giExpressCount = -1;
    struct Row {
        int ticks;           // total ticks so far
        int earlyLaunches, lateLaunches, handled;
    } rows[] = {
        {5, 0, 0, 0},        // no step yet
        {6, 1, 0, 1},        // step 10
        {12, 1, 0, 1},       // step 20
        {17, 1, 0, 1},
        {18, 1, 1, 2},       // step 30
        {60, 1, 1, 2},       // everything handled: no more steps
    };
    int done = 0;
    for (size_t r = 0; r < sizeof(rows) / sizeof(rows[0]); r++) {
        for (; done < rows[r].ticks; done++) {
            giVerifyTicks = -100000;
            OnTimerTick();
        }
        int earlyCount = 0, lateCount = 0;
        for (const Launch &l : gLaunches) {
            earlyCount += ContainsText(l.command, early);
            lateCount += ContainsText(l.command, late);
        }
        EXPECT_EQ(rows[r].earlyLaunches, earlyCount) << "row " << r << " after " << rows[r].ticks << " ticks";
        EXPECT_EQ(rows[r].lateLaunches, lateCount) << "row " << r << " after " << rows[r].ticks << " ticks";
        EXPECT_EQ(rows[r].handled, giDelayLaunched) << "row " << r;
    }
    EXPECT_EQ(3, giDelayStep) << "the steps stop once all programs are handled";
}

TEST_F(DelayedStartTest, OnlyTheProgramsOfTheStepValueAreLaunched)
{
    std::string p10 = Program("ten.exe"), p20 = Program("twenty.exe"), p15 = Program("fifteen.exe");
    PutDelayed(Entry(HKEY_CURRENT_USER, 0, p10, "11", "10"));
    PutDelayed(Entry(HKEY_CURRENT_USER, 0, p20, "11", "20"));
    PutDelayed(Entry(HKEY_CURRENT_USER, 0, p15, "11", "15"));
    StartCounting();
    ASSERT_EQ(3, giDelayToLaunch);
    struct Row {
        int step;
        std::vector<std::string> launched;
        int handled;
    } rows[] = {
        {10, {p10}, 1},
        // Nothing on the list comes later than 20: the time 15, which no step
        // reaches, counts as handled with it, so the timer stops.
        {20, {p10, p20}, 3},
        {30, {p10, p20}, 3},
    };
    for (size_t r = 0; r < sizeof(rows) / sizeof(rows[0]); r++) {
        DelayedStartTimer(rows[r].step);
        ASSERT_EQ(rows[r].launched.size(), gLaunches.size()) << "row " << r;
        for (size_t k = 0; k < rows[r].launched.size(); k++)
            EXPECT_TRUE(ContainsText(gLaunches[k].command, rows[r].launched[k])) << "row " << r << " launch " << k;
        EXPECT_EQ(rows[r].handled, giDelayLaunched) << "row " << r;
    }
}

TEST_F(DelayedStartTest, ARunningProgramOrAMissingFileIsHandledWithoutALaunch)
{
    // A second copy of this very program stands for one the user started at logon.
    std::string running = ThisProgram();
    SetEnvironmentVariableA(kSleeperVariable, "1");
    DWORD pid = 0;
    HANDLE sleeper = StartProgram(running.substr(running.rfind('\\') + 1), "", &pid);
    SetEnvironmentVariableA(kSleeperVariable, NULL);
    ASSERT_TRUE(sleeper);
    for (int wait = 0; wait < 100 && FindProcessOfProgram(running.c_str()) != pid; wait++)
        Sleep(50);
    ASSERT_EQ(pid, FindProcessOfProgram(running.c_str()));

    std::string missing = TempFolder() + "\\not-there.exe";
    std::string fresh = Program("fresh.exe");
    PutDelayed(Entry(HKEY_CURRENT_USER, 0, running, "11", "10"));
    PutDelayed(Entry(HKEY_CURRENT_USER, 0, missing, "11", "10"));
    PutDelayed(Entry(HKEY_CURRENT_USER, 0, fresh, "11", "10"));
    StartCounting();
    ASSERT_EQ(3, giDelayToLaunch);
    DelayedStartTimer(10);
    TerminateProcess(sleeper, 0);
    WaitForSingleObject(sleeper, 5000);
    CloseHandle(sleeper);

    ASSERT_EQ(1u, gLaunches.size()) << "only the program that is neither running nor missing";
    EXPECT_TRUE(ContainsText(gLaunches[0].command, fresh));
    EXPECT_EQ(3, giDelayLaunched);
    // Handled is handled: the next steps start nothing, not even by retry.
    DelayedStartTimer(20);
    DelayedStartTimer(10);
    EXPECT_EQ(1u, gLaunches.size());
}

// ---------------------------------------------------------------------------
// How it is started

TEST_F(DelayedStartTest, WindowStateFollowsOpenAsWithUnknownValuesNormal)
{
    struct Row {
        const char *openAs;   // "" leaves the value out
        int show;
    } rows[] = {
        {"0", SW_SHOWNORMAL}, {"1", SW_MINIMIZE}, {"2", SW_MAXIMIZE}, {"5", SW_SHOWNORMAL},
        {"3", SW_SHOWNORMAL}, {"-1", SW_SHOWNORMAL}, {"abc", SW_SHOWNORMAL}, {"", SW_SHOWNORMAL},
    };
    for (size_t r = 0; r < sizeof(rows) / sizeof(rows[0]); r++) {
        std::string path = Program(("state" + std::to_string(r) + ".exe").c_str());
        Delayed d = Entry(HKEY_CURRENT_USER, 0, path, "11", "10");
        d.openAs = rows[r].openAs;
        PutDelayed(d);
        gLaunches.clear();
        giDelayLaunched = 0;
        giDelayToLaunch = 1;
        DelayedStartTimer(10);
        const Launch *l = LaunchOf(path);
        ASSERT_TRUE(l) << "row " << r;
        EXPECT_EQ(rows[r].show, l->show) << "row " << r << " OpenAs \"" << rows[r].openAs << "\"";
        RegDeleteTreeView(HKEY_CURRENT_USER, kDelay);
    }
}

TEST_F(DelayedStartTest, FileLaunchMapsTheWindowStateIndex)
{
    std::string path = Program("direct.exe");
    struct Row {
        int openAs, show;
    } rows[] = {{0, SW_SHOWNORMAL}, {1, SW_MINIMIZE}, {2, SW_MAXIMIZE},
                {3, SW_SHOWNORMAL}, {-1, SW_SHOWNORMAL}, {1000000, SW_SHOWNORMAL}};
    for (size_t r = 0; r < sizeof(rows) / sizeof(rows[0]); r++) {
        gLaunches.clear();
        EXPECT_EQ(1, fileLaunchDelayedProgram(path.c_str(), "", 11, 0, rows[r].openAs)) << "row " << r;
        ASSERT_EQ(1u, gLaunches.size()) << "row " << r;
        EXPECT_EQ(rows[r].show, gLaunches[0].show) << "row " << r;
        EXPECT_TRUE(SameText(TempFolder(), gLaunches[0].directory)) << "row " << r << ": " << gLaunches[0].directory;
    }
}

TEST_F(DelayedStartTest, RunAsOneMeansTheRunasVerb)
{
    struct Row {
        const char *runAs;   // "" leaves the value out
        const char *verb;
    } rows[] = {
        {"1", "runas"}, {"0", "open"}, {"", "open"}, {"11", "open"}, {"yes", "open"}, {"10000", "open"},
    };
    for (size_t r = 0; r < sizeof(rows) / sizeof(rows[0]); r++) {
        std::string path = Program(("rights" + std::to_string(r) + ".exe").c_str());
        Delayed d = Entry(HKEY_CURRENT_USER, 0, path, "11", "10");
        d.runAs = rows[r].runAs;
        d.parameters = "-tray /q";
        PutDelayed(d);
        gLaunches.clear();
        giDelayLaunched = 0;
        giDelayToLaunch = 1;
        DelayedStartTimer(10);
        const Launch *l = LaunchOf(path);
        ASSERT_TRUE(l) << "row " << r;
        EXPECT_EQ(rows[r].verb, l->verb) << "row " << r << " RunAs \"" << rows[r].runAs << "\"";
        EXPECT_EQ("-tray /q", l->parameters) << "row " << r;
        RegDeleteTreeView(HKEY_CURRENT_USER, kDelay);
    }
}

TEST_F(DelayedStartTest, AppletsAndNegativeCodesGoThroughRundll32)
{
    std::string applet = Program("panel.dll");
    std::string negative = Program("helper.dll");
    std::string plain = Program("plain.exe");
    Delayed a = Entry(HKEY_CURRENT_USER, 0, applet, "11", "10");
    a.applet = "1";
    PutDelayed(a);
    PutDelayed(Entry(HKEY_CURRENT_USER, 0, negative, "-11", "10"));
    PutDelayed(Entry(HKEY_CURRENT_USER, 0, plain, "11", "10"));
    StartCounting();
    DelayedStartTimer(10);
    ASSERT_EQ(3u, gLaunches.size());
    struct Row {
        std::string path;
        bool rundll;
    } rows[] = {{applet, true}, {negative, true}, {plain, false}};
    for (size_t r = 0; r < sizeof(rows) / sizeof(rows[0]); r++) {
        const Launch *l = LaunchOf(rows[r].path);
        ASSERT_TRUE(l) << "row " << r;
        EXPECT_EQ(rows[r].rundll, l->command.rfind("RUNDLL32.EXE ", 0) == 0) << "row " << r << ": " << l->command;
        if (rows[r].rundll)
            EXPECT_TRUE(SameText("RUNDLL32.EXE " + rows[r].path, l->command)) << "row " << r << ": " << l->command;
        else
            EXPECT_TRUE(SameText(rows[r].path, l->command)) << "row " << r << ": " << l->command;
    }

    // The launch itself, asked directly: a negative code is the RUNDLL32 form,
    // and a file that is not there is not started at all.
    gLaunches.clear();
    EXPECT_EQ(1, fileLaunchDelayedProgram(plain.c_str(), "", -5, 0, 0));
    ASSERT_EQ(1u, gLaunches.size());
    EXPECT_EQ("RUNDLL32.EXE " + plain, gLaunches[0].command);
    gLaunches.clear();
    EXPECT_EQ(0, fileLaunchDelayedProgram((TempFolder() + "\\gone.exe").c_str(), "", 11, 0, 0));
    EXPECT_TRUE(gLaunches.empty());
}

// The real door, once: a copy of this program (which only waits when it finds the
// sleeper variable, inherited from here) is started and then ended again.
TEST_F(DelayedStartTest, TheDefaultLauncherReallyStartsTheProgram)
{
    DelayedLauncher = LaunchWithShell;
    TestLogCounter = 0;
    FormatText(TestLogPath, CAP(TestLogPath), "%s\\trace.txt", TempFolder().c_str());
    // A blank in the name: the launch must not split the path.
    std::string copy = TempFolder() + "\\delayed copy.exe";
    ASSERT_TRUE(CopyFileA(ThisProgram().c_str(), copy.c_str(), FALSE));
    SetEnvironmentVariableA(kSleeperVariable, "1");
    int started = fileLaunchDelayedProgram(copy.c_str(), "-x", 11, 0, 1);
    SetEnvironmentVariableA(kSleeperVariable, NULL);
    EXPECT_EQ(1, started);
    EXPECT_TRUE(TraceHas("fileLaunchDelayedProgram ShellExecute = TRUE"));
    DWORD pid = 0;
    for (int wait = 0; wait < 100 && !(pid = FindProcessOfProgram(copy.c_str())); wait++)
        Sleep(50);
    ASSERT_NE(0u, pid) << "the copy is not running";
    HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid);
    ASSERT_TRUE(process);
    TerminateProcess(process, 0);
    WaitForSingleObject(process, 5000);
    CloseHandle(process);
}

// ---------------------------------------------------------------------------
// Where the list lives

TEST_F(DelayedStartTest, TheRootOfAnEntryFollowsItsCode)
{
    struct Row {
        int code;
        HKEY root;
        REGSAM view;   // on 64-bit Windows
    } rows[] = {
        {1, HKEY_LOCAL_MACHINE, k64},  {5, HKEY_LOCAL_MACHINE, k64},  {10, HKEY_LOCAL_MACHINE, k64},
        {21, HKEY_LOCAL_MACHINE, k32}, {30, HKEY_LOCAL_MACHINE, k32}, {-25, HKEY_LOCAL_MACHINE, k32},
        {-3, HKEY_LOCAL_MACHINE, k64}, {11, HKEY_CURRENT_USER, 0},    {20, HKEY_CURRENT_USER, 0},
        {31, HKEY_CURRENT_USER, 0},    {100, HKEY_CURRENT_USER, 0},   {200, HKEY_CURRENT_USER, 0},
        {0, HKEY_CURRENT_USER, 0},     {-15, HKEY_CURRENT_USER, 0},   {INT_MIN, HKEY_CURRENT_USER, 0},
    };
    ASSERT_TRUE(Is64BitWindows);
    for (size_t r = 0; r < sizeof(rows) / sizeof(rows[0]); r++) {
        REGSAM view = 0xDEAD;
        EXPECT_EQ(rows[r].root, DelayRootOfCode(rows[r].code, &view)) << "row " << r << " code " << rows[r].code;
        EXPECT_EQ(rows[r].view, view) << "row " << r << " code " << rows[r].code;
    }
}

TEST_F(DelayedStartTest, TheTimerReadsTheTimeUnderTheRootOfTheCode)
{
    struct Row {
        HKEY root;
        REGSAM view;
        const char *code;
        bool launched;
    } rows[] = {
        {HKEY_LOCAL_MACHINE, k64, "5", true},
        // A 32-bit-view machine entry of a low code is a WOW64 one: raised to 23.
        {HKEY_LOCAL_MACHINE, k32, "3", true},
        {HKEY_LOCAL_MACHINE, k32, "25", true},
        {HKEY_CURRENT_USER, 0, "12", true},
        {HKEY_CURRENT_USER, 0, "200", true},
        // Listed under the user but coded for the machine: its Time is looked for
        // where its code says, and is not there.
        {HKEY_CURRENT_USER, 0, "5", false},
        {HKEY_LOCAL_MACHINE, k64, "14", false},
    };
    for (size_t r = 0; r < sizeof(rows) / sizeof(rows[0]); r++) {
        std::string path = Program(("root" + std::to_string(r) + ".exe").c_str());
        PutDelayed(Entry(rows[r].root, rows[r].view, path, rows[r].code, "10"));
    }
    StartCounting();
    EXPECT_EQ((int)(sizeof(rows) / sizeof(rows[0])), giDelayToLaunch);
    DelayedStartTimer(10);
    for (size_t r = 0; r < sizeof(rows) / sizeof(rows[0]); r++) {
        std::string path = TempFolder() + "\\root" + std::to_string(r) + ".exe";
        EXPECT_EQ(rows[r].launched, LaunchOf(path) != nullptr) << "row " << r << " code " << rows[r].code;
    }
}

// ---------------------------------------------------------------------------
// The list as the run list shows it

TEST_F(DelayedStartTest, ReadDelayListBuildsOneRecordPerProgram)
{
    std::string titled = Program("titled.exe");
    std::string bare = Program("bare.exe");
    std::string versioned = TempFolder() + "\\versioned.exe";
    ASSERT_TRUE(CopyFileA(ThisProgram().c_str(), versioned.c_str(), FALSE));
    std::string shortcut = TempFolder() + "\\Bare Tool.lnk";

    Delayed t = Entry(HKEY_CURRENT_USER, 0, titled, "11", "30");
    t.title = "My Titled Tool";
    PutDelayed(t);
    Delayed b = Entry(HKEY_CURRENT_USER, 0, bare, "200", "20");
    b.shortcut = shortcut;
    b.applet = "1";
    PutDelayed(b);
    PutDelayed(Entry(HKEY_LOCAL_MACHINE, k64, versioned, "4", "10"));

    struct Row {
        std::string path, name, sourcePath, details;
        int code, extra;
    } rows[] = {
        {titled, "My Titled Tool", "My Titled Tool", "", 11, 30},
        // No title and no version: the file part; code 200 keeps its shortcut,
        // and an applet's step is negative.
        {bare, "bare.exe", shortcut, "", 200, -20},
        // No title: the product name, and the version text as details.
        {versioned, "Brackmoor", "Brackmoor", "33.1.2015.0", 4, 10},
    };
    ASSERT_EQ(3, ReadDelayList());
    ASSERT_EQ(3, RunList.count);
    for (size_t r = 0; r < sizeof(rows) / sizeof(rows[0]); r++) {
        int found = -1;
        char text[RUN_DETAILS_MAX];
        for (int i = 0; i < RunList.count; i++)
            if (GetRunPath(i, text) > 0 && SameText(text, rows[r].path))
                found = i;
        ASSERT_GE(found, 0) << "row " << r;
        GetRunName(found, text);
        EXPECT_EQ(rows[r].name, text) << "row " << r;
        GetRunSourcePath(found, text);
        EXPECT_TRUE(SameText(rows[r].sourcePath, text)) << "row " << r << ": " << text;
        GetRunDetails(found, text);
        EXPECT_EQ(rows[r].details, text) << "row " << r;
        EXPECT_EQ(rows[r].code, GetRunCode(found)) << "row " << r;
        EXPECT_EQ(rows[r].extra, GetRunExtra(found)) << "row " << r;
    }
    EXPECT_EQ(3, CountDelayedPrograms());
    EXPECT_EQ(0, RunList.count) << "the count leaves the run list empty";
}

// A copy of this program whose version record names the product "Microsoft" and
// describes the file as "Tool Desc" (both the length of the texts they replace).
static bool MakeMicrosoftNamedCopy(const std::string &path)
{
    HMODULE self = GetModuleHandleA(NULL);
    HRSRC found = FindResourceA(self, MAKEINTRESOURCEA(kVersionResource), MAKEINTRESOURCEA(kVersionType));
    if (!found)
        return false;
    DWORD size = SizeofResource(self, found);
    const BYTE *data = (const BYTE *)LockResource(LoadResource(self, found));
    if (!data || !CopyFileA(ThisProgram().c_str(), path.c_str(), FALSE))
        return false;
    std::vector<BYTE> blob(data, data + size);
    auto wide = [](const char *s) {
        std::string w;
        for (; *s; s++) {
            w += *s;
            w += '\0';
        }
        return w;
    };
    auto replaceAfter = [&](const char *key, const char *from, const char *to) {
        std::string k = wide(key), f = wide(from), t = wide(to);
        std::string all(blob.begin(), blob.end());
        size_t at = all.find(k);
        size_t value = at == std::string::npos ? at : all.find(f, at + k.size());
        if (value == std::string::npos || f.size() != t.size())
            return false;
        memcpy(&blob[value], t.data(), t.size());
        return true;
    };
    if (!replaceAfter("ProductName", "Brackmoor", "Microsoft") || !replaceAfter("FileDescription", "Brackmoor", "Tool Desc"))
        return false;
    HANDLE update = BeginUpdateResourceA(path.c_str(), FALSE);
    if (!update)
        return false;
    BOOL ok = UpdateResourceA(update, MAKEINTRESOURCEA(kVersionType), MAKEINTRESOURCEA(kVersionResource),
                              MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), blob.data(), size);
    return EndUpdateResourceA(update, !ok) && ok;
}

TEST_F(DelayedStartTest, AMicrosoftProductIsTitledByItsDescription)
{
    std::string path = TempFolder() + "\\mstool.exe";
    ASSERT_TRUE(MakeMicrosoftNamedCopy(path));
    VersionRecord version;
    ASSERT_TRUE(GetVersionInfo(path.c_str(), &version));
    ASSERT_STREQ("Microsoft", version.ProductName);

    struct Row {
        const char *title;   // the Title value; "" for none
        const char *expected;
    } rows[] = {
        {"", "Tool Desc"},
        // A title of the user's is kept as it is, whatever it says.
        {"Microsoft Helper", "Microsoft Helper"},
    };
    for (size_t r = 0; r < sizeof(rows) / sizeof(rows[0]); r++) {
        RegDeleteTreeView(HKEY_CURRENT_USER, kDelay);
        Delayed d = Entry(HKEY_CURRENT_USER, 0, path, "11", "10");
        d.title = rows[r].title;
        PutDelayed(d);
        ASSERT_EQ(1, ReadDelayList()) << "row " << r;
        char name[RUN_NAME_MAX];
        GetRunName(0, name);
        EXPECT_STREQ(rows[r].expected, name) << "row " << r;
    }
}

TEST_F(DelayedStartTest, LowMachineCodesOfThe32BitViewAreRaisedAndWrittenBack)
{
    struct Row {
        HKEY root;
        REGSAM view;
        const char *code;
        const char *stored;   // the Delay value after the read
        int recordCode;
    } rows[] = {
        {HKEY_LOCAL_MACHINE, k32, "3", "23", 23},
        {HKEY_LOCAL_MACHINE, k32, "6", "26", 26},
        {HKEY_LOCAL_MACHINE, k32, "-1", "-21", -21},
        {HKEY_LOCAL_MACHINE, k32, "7", "7", 7},
        {HKEY_LOCAL_MACHINE, k32, "0", "0", 0},
        {HKEY_LOCAL_MACHINE, k64, "3", "3", 3},
        {HKEY_CURRENT_USER, 0, "3", "3", 3},
    };
    for (size_t r = 0; r < sizeof(rows) / sizeof(rows[0]); r++) {
        for (REGSAM v : {k32, k64}) {
            RegDeleteTreeView(HKEY_LOCAL_MACHINE, kDelay, v);
            RegDeleteTreeView(HKEY_CURRENT_USER, kDelay, v);
        }
        std::string path = Program(("wow" + std::to_string(r) + ".exe").c_str());
        PutDelayed(Entry(rows[r].root, rows[r].view, path, rows[r].code, "10"));
        ASSERT_EQ(1, ReadDelayList()) << "row " << r;
        EXPECT_EQ(rows[r].recordCode, GetRunCode(0)) << "row " << r;
        EXPECT_EQ(rows[r].stored, RegText(rows[r].root, kDelay, path.c_str(), rows[r].view)) << "row " << r;
    }
}

// ---------------------------------------------------------------------------
// Taking a program off the list

TEST_F(DelayedStartTest, RemoveDelayedProgramClearsEveryKeyInBothViewsAndNothingElse)
{
    const char *subkeys[] = {"", "Time", "Parameters", "Shortcuts", "Applet", "Title", "OpenAs", "RunAs"};
    std::string gone = "C:\\Tools\\gone.exe", kept = "C:\\Tools\\kept.exe";
    struct Place {
        HKEY root;
        REGSAM view;
    } places[] = {{HKEY_LOCAL_MACHINE, k32}, {HKEY_LOCAL_MACHINE, k64}, {HKEY_CURRENT_USER, 0}};
    for (const Place &p : places)
        for (const char *sub : subkeys) {
            RegPut(p.root, Key(sub).c_str(), gone.c_str(), "1", p.view);
            RegPut(p.root, Key(sub).c_str(), kept.c_str(), "1", p.view);
        }

    struct Row {
        HKEY root;
        bool machineGone, userGone;
    } rows[] = {
        {HKEY_LOCAL_MACHINE, true, false},
        {HKEY_CURRENT_USER, true, true},
    };
    for (size_t r = 0; r < sizeof(rows) / sizeof(rows[0]); r++) {
        EXPECT_GT(RemoveDelayedProgram(gone.c_str(), rows[r].root), 0) << "row " << r;
        for (const Place &p : places) {
            bool expectGone = p.root == HKEY_LOCAL_MACHINE ? rows[r].machineGone : rows[r].userGone;
            for (const char *sub : subkeys) {
                EXPECT_EQ(!expectGone, RegHasValue(p.root, Key(sub).c_str(), gone.c_str(), p.view))
                    << "row " << r << " key \"" << sub << "\" view " << p.view;
                EXPECT_TRUE(RegHasValue(p.root, Key(sub).c_str(), kept.c_str(), p.view))
                    << "row " << r << " key \"" << sub << "\" view " << p.view;
            }
        }
    }
    EXPECT_EQ(0, RemoveDelayedProgram(gone.c_str(), HKEY_CURRENT_USER)) << "nothing left to remove";
    EXPECT_EQ(0, RemoveDelayedProgram("", HKEY_CURRENT_USER));
}

// ---------------------------------------------------------------------------
// Dialog 192

struct DialogSeen {
    bool seen = false;
    RECT rect = {};
    std::string message, path, yes, no, info;
};

// Runs dialog 192 on this thread while a helper thread reads it and answers.
static int RunDelayAlert(const RunStruct &entry, void (*answer)(HWND), DialogSeen &seen)
{
    std::string caption = LangText(1023);
    std::atomic<bool> done(false);
    std::thread driver([&] {
        HWND dialog = nullptr;
        while (!done && !(dialog = WaitForDialog(caption.c_str(), 0)))
            Sleep(50);
        if (!dialog)
            return;
        seen.seen = true;
        GetWindowRect(dialog, &seen.rect);
        seen.message = ControlText(dialog, IDC_MESSAGE);
        seen.path = ControlText(dialog, IDC_PATH);
        seen.yes = ControlText(dialog, IDYES);
        seen.no = ControlText(dialog, IDNO);
        seen.info = ControlText(dialog, IDC_INFO);
        answer(dialog);
    });
    int result = (int)DialogBoxParamA(hInstance, MAKEINTRESOURCEA(IDD_DELAYALERT), NULL, DelayAlertDlgProc,
                                      (LPARAM)&entry);
    done = true;
    driver.join();
    return result;
}

TEST_F(DelayedStartTest, DelayAlertShowsTheProgramAndAnswersYesNoOrCloseAsAccept)
{
    RunStruct entry = {};
    std::string path = ThisProgram();
    CopyText(entry.name, CAP(entry.name), "Delayed Tool");
    CopyText(entry.path, CAP(entry.path), path.c_str());
    entry.code = 11;
    struct Row {
        void (*answer)(HWND);
        int result;
    } rows[] = {
        {[](HWND d) { PressButton(d, IDYES); }, IDYES},
        {[](HWND d) { PressButton(d, IDNO); }, IDNO},
        {[](HWND d) { PostMessageA(d, WM_SYSCOMMAND, SC_CLOSE, 0); }, IDYES},
    };
    for (size_t r = 0; r < sizeof(rows) / sizeof(rows[0]); r++) {
        RegDeleteTreeView(HKEY_CURRENT_USER, BRACKMOOR_KEY);
        // Where the last alert was left, not where the notices go.
        RegPut(HKEY_CURRENT_USER, BRACKMOOR_KEY, "xPosAlert", "53");
        RegPut(HKEY_CURRENT_USER, BRACKMOOR_KEY, "yPosAlert", "59");
        RegPut(HKEY_CURRENT_USER, BRACKMOOR_KEY, "xDefaultWarning", "300");
        RegPut(HKEY_CURRENT_USER, BRACKMOOR_KEY, "yDefaultWarning", "310");
        DialogSeen seen;
        EXPECT_EQ(rows[r].result, RunDelayAlert(entry, rows[r].answer, seen)) << "row " << r;
        ASSERT_TRUE(seen.seen) << "row " << r;
        EXPECT_EQ(LangText(1022), seen.message) << "row " << r;
        EXPECT_EQ(path, seen.path) << "row " << r;
        EXPECT_EQ(LangText(719), seen.yes) << "row " << r;
        EXPECT_EQ(LangText(720), seen.no) << "row " << r;
        EXPECT_EQ(LangText(641), seen.info) << "row " << r;
        EXPECT_EQ(53, seen.rect.left) << "row " << r;
        EXPECT_EQ(59, seen.rect.top) << "row " << r;
        // Saved into the alert family on the way out; the notices' stays as it was.
        EXPECT_EQ("53", RegText(HKEY_CURRENT_USER, BRACKMOOR_KEY, "xPosAlert")) << "row " << r;
        EXPECT_TRUE(RegHasValue(HKEY_CURRENT_USER, BRACKMOOR_KEY, "dxAlert")) << "row " << r;
        EXPECT_EQ("300", RegText(HKEY_CURRENT_USER, BRACKMOOR_KEY, "xDefaultWarning")) << "row " << r;
        EXPECT_EQ(0, bMsgOpen) << "row " << r;
    }
}

} // namespace
