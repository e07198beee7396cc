// Start-up: the first-run and install handling of the initial values, and the
// program started only to quit or for a one-shot lookup, which never becomes the monitor.
#include "support/system_state.h"
#include "support/test_env.h"

#include "common/files.h"
#include "common/registry.h"
#include "common/options.h"
#include "common/winver.h"
#include "monitor/initial_values.h"
#include "monitor/own_run_entry.h"

class MonitorStartTest : public BrackmoorTest {
protected:
    void TearDown() override
    {
        KillProgramsNamed("brackmoor.exe");
        KillProgramsNamed("BrackmoorEx.exe");
        BrackmoorTest::TearDown();
    }
};

TEST_F(MonitorStartTest, FirstRunCreatesKeysPathVersionAndOwnRunEntry)
{
    GetInitalValues();
    KillProgramsNamed("BrackmoorEx.exe");     // the first run opens the companion's About page

    EXPECT_FALSE(RegText(HKEY_CURRENT_USER, BRACKMOOR_KEY, "").empty()) << "first-run marker";
    for (const char *sub : {"Nuts", "Cookies", "Options", "Run", "IEHelpers", "HostFile", "Tasks", "ActiveX"})
        EXPECT_TRUE(RegHasKey(HKEY_CURRENT_USER, (std::string(BRACKMOOR_KEY) + "\\" + sub).c_str())) << sub;
    EXPECT_EQ(BinFolder(), RegText(HKEY_CURRENT_USER, BRACKMOOR_KEY, "PATH"));
    EXPECT_EQ(BRACKMOOR_VERSION, RegText(HKEY_CURRENT_USER, BRACKMOOR_KEY, "NewVersion"));
    EXPECT_EQ(BinFolder() + "\\brackmoor.exe -expressboot",
              RegText(HKEY_CURRENT_USER, kRun, "Brackmoor", KEY_WOW64_64KEY));
    EXPECT_EQ("1", RegText(HKEY_CURRENT_USER, BRACKMOOR_KEY "\\Run", "Brackmoor"));
    EXPECT_EQ(1, RunAlways);
    // The system-files marker comes with the HOSTS record it stands for.
    EXPECT_FALSE(RegText(HKEY_LOCAL_MACHINE, BRACKMOOR_KEY "\\Sysfiles", "").empty());
    EXPECT_FALSE(RegText(HKEY_LOCAL_MACHINE, BRACKMOOR_KEY "\\Sysfiles\\HOSTS", "Location").empty());
    EXPECT_EQ(9, UILanguage);
    EXPECT_EQ((REGSAM)KEY_ALL_ACCESS, RegWriteAccess);
    EXPECT_EQ((REGSAM)KEY_READ, RegReadAccess);
    // UAC copies: the machine's value, or -1 where the machine has none; Windows
    // before Vista has no UAC, and nothing is copied there.
    for (const char *name : {"ConsentPromptBehaviorAdmin", "EnableLUA", "PromptOnSecureDesktop"})
        EXPECT_EQ(IsVistaOrLater() != 0, RegHasValue(HKEY_CURRENT_USER, BRACKMOOR_KEY, name)) << name;

    // A second start of the same version keeps the marker and does not count as an install.
    std::string marker = RegText(HKEY_CURRENT_USER, BRACKMOOR_KEY, "");
    RegRemoveValue(HKEY_CURRENT_USER, kRun, "Brackmoor");
    GetInitalValues();
    EXPECT_EQ(marker, RegText(HKEY_CURRENT_USER, BRACKMOOR_KEY, ""));
    EXPECT_FALSE(RegHasValue(HKEY_CURRENT_USER, kRun, "Brackmoor")) << "no install: the entry stays off";
    EXPECT_EQ(0, RunAlways);
}

// A UAC value the machine lacks is kept as -1 once, not taken again at each start.
TEST_F(MonitorStartTest, AMissingUacValueIsCopiedOnceAsMinusOne)
{
    const char kPolicies[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\System";
    KeptValues kept;
    kept.Keep(HKEY_LOCAL_MACHINE, kPolicies, "EnableLUA");
    RegRemoveValue(HKEY_LOCAL_MACHINE, kPolicies, "EnableLUA", KEY_WOW64_64KEY);
    RegPut(HKEY_CURRENT_USER, BRACKMOOR_KEY, "", "01/01/2015 9:00 AM");
    RegPut(HKEY_CURRENT_USER, BRACKMOOR_KEY, "NewVersion", BRACKMOOR_VERSION);
    GetInitalValues();
    RegPutDword(HKEY_LOCAL_MACHINE, kPolicies, "EnableLUA", 1, KEY_WOW64_64KEY);
    GetInitalValues();
    kept.Restore();
    // Windows before Vista has no UAC: nothing is copied there, present or not.
    if (!IsVistaOrLater()) {
        EXPECT_FALSE(RegHasValue(HKEY_CURRENT_USER, BRACKMOOR_KEY, "EnableLUA"));
        return;
    }
    EXPECT_EQ(DwordData(0xFFFFFFFF), RegKeyValues(HKEY_CURRENT_USER, BRACKMOOR_KEY)["EnableLUA"]);
}

TEST_F(MonitorStartTest, UpdateInstallCleanupAndDataMove)
{
    RegPut(HKEY_CURRENT_USER, BRACKMOOR_KEY, "", "01/01/2015 9:00 AM");
    RegPut(HKEY_CURRENT_USER, BRACKMOOR_KEY, "NewVersion", "32.0.2014.0");
    PutOption("Cleanup", "1");
    PutOption("Update", "0");
    // An earlier version kept its history in the program folder.
    std::string old = TempFolder();
    RegPut(HKEY_CURRENT_USER, BRACKMOOR_KEY, "PATH", old.c_str());
    WriteWholeFile(old + "\\history.txt", "old line\r\n");

    GetInitalValues();
    EXPECT_EQ(BRACKMOOR_VERSION, RegText(HKEY_CURRENT_USER, BRACKMOOR_KEY, "NewVersion"));
    EXPECT_EQ(BinFolder() + "\\brackmoor.exe -expressboot",
              RegText(HKEY_CURRENT_USER, kRun, "Brackmoor", KEY_WOW64_64KEY));
    EXPECT_EQ("0", RegText(HKEY_CURRENT_USER, OPTIONS_KEY, "Cleanup"));
    EXPECT_EQ("1", RegText(HKEY_CURRENT_USER, OPTIONS_KEY, "Update"));
    EXPECT_EQ("old line\r\n", ReadWholeFile(DataFolder() + "\\history.txt"));
    EXPECT_FALSE(PathExists(old + "\\history.txt"));
    EXPECT_EQ("1", RegText(HKEY_CURRENT_USER, OPTIONS_KEY, "AppData"));
    EXPECT_TRUE(PathExists(DataFolder() + "\\disabled"));
    EXPECT_EQ("01/01/2015 9:00 AM", RegText(HKEY_CURRENT_USER, BRACKMOOR_KEY, "")) << "not a first run";
}

TEST_F(MonitorStartTest, ExplorerMenuFollowsTheOption)
{
    RegPut(HKEY_CURRENT_USER, BRACKMOOR_KEY, "", "01/01/2015 9:00 AM");
    RegPut(HKEY_CURRENT_USER, BRACKMOOR_KEY, "NewVersion", BRACKMOOR_VERSION);
    PutOption("ExplorerMenu", "1");
    GetInitalValues();
    EXPECT_EQ("\"" + BinFolder() + "\\brackmoor.exe\" %1",
              RegText(HKEY_CLASSES_ROOT, "exefile\\shell\\Brackmoor KEEL\\command", ""));
    EXPECT_EQ("", RegText(HKEY_CLASSES_ROOT, "exefile\\shell\\Brackmoor KEEL", "")) << "label 1183 is empty";
    PutOption("ExplorerMenu", "2");
    GetInitalValues();
    EXPECT_FALSE(RegHasKey(HKEY_CLASSES_ROOT, "exefile\\shell\\Brackmoor KEEL"));
}

TEST_F(MonitorStartTest, OwnRunEntriesAreCountedAndRemovedInBothViews)
{
    RegPut(HKEY_CURRENT_USER, kRun, "Old Brackmoor", "\"C:\\Old\\BRACKMOOR.EXE\" -expressboot");
    RegPut(HKEY_LOCAL_MACHINE, "Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Run", "Brackmoor Explorer",
           "C:\\Old\\BrackmoorEx.exe -START", KEY_WOW64_64KEY);
    RegPut(HKEY_CURRENT_USER, kRun, "Other", "C:\\Other\\other.exe");
    EXPECT_EQ(2, RemoveOwnRunEntries(0));
    EXPECT_TRUE(RegHasValue(HKEY_CURRENT_USER, kRun, "Old Brackmoor"));
    EXPECT_EQ(2, RemoveOwnRunEntries(1));
    EXPECT_FALSE(RegHasValue(HKEY_CURRENT_USER, kRun, "Old Brackmoor"));
    EXPECT_FALSE(RegHasValue(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion\\Run",
                             "Brackmoor Explorer", KEY_WOW64_32KEY));
    EXPECT_EQ("C:\\Other\\other.exe", RegText(HKEY_CURRENT_USER, kRun, "Other"));
    RegRemoveValue(HKEY_CURRENT_USER, kRun, "Other");

    SetAlwaysRun(1);
    EXPECT_EQ(1, RemoveOwnRunEntries(0));
    SetAlwaysRun(0);
    EXPECT_EQ(0, RunAlways);
    EXPECT_FALSE(RegHasValue(HKEY_CURRENT_USER, kRun, "Brackmoor"));
}

TEST_F(MonitorStartTest, QuitWithNoMonitorRunningCreatesNothing)
{
    PutOption("Orvalen", "1");
    EXPECT_EQ(0u, RunProgramWait("brackmoor.exe", "-Q", 20000));
    EXPECT_EQ(nullptr, FindWindowA("Brackmoor", NULL));
    // It left before the initial values: no first-run marker, no own Run entry.
    EXPECT_EQ("", RegText(HKEY_CURRENT_USER, BRACKMOOR_KEY, ""));
    EXPECT_FALSE(RegHasValue(HKEY_CURRENT_USER, kRun, "Brackmoor", KEY_WOW64_64KEY));
    // A file name with ".exe" is a one-shot lookup that never becomes the monitor.
    EXPECT_EQ(0u, RunProgramWait("brackmoor.exe", "C:\\windows\\notepad.exe", 20000));
    EXPECT_EQ("", RegText(HKEY_CURRENT_USER, BRACKMOOR_KEY, ""));
}
