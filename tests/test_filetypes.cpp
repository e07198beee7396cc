// The file type watcher on test extensions of its own, read back from the registry, the
// monitored list and the alert.
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "common/history.h"
#include "common/registry.h"
#include "resources/resource.h"
#include "support/e2e.h"
#include "support/system_state.h"
#include "support/test_env.h"
#include "ui/alert.h"
#include "watchers/filetypes.h"

namespace {

const char kExt[] = ".bmtst", kTwo[] = ".bmtwo";
const char kFileExts[] = FILEEXTS_KEY "\\.bmtst";
const std::vector<const char *> kRecordedKeys = {".bmtst",   ".bmtwo",       "bmtst.m1",
                                                 "bmtst.m3", "bmtst.shared", "Applications\\bmold.exe"};
const std::vector<const char *> kHijackKeys = {"bmtst.evil", "Applications\\bmevil.exe"};

std::string CommandKey(const std::string &cls)
{
    return cls + "\\shell\\open\\command";
}

class FileTypeTest : public BrackmoorTest {
protected:
    void SetUp() override
    {
        BrackmoorTest::SetUp();
        RemoveKeys();
        giFileType = 1;
        giShowAlerts = 0;
        giLockFileTypes = 0;
        giSuppressExtraAlerts = 0;
    }
    void TearDown() override
    {
        RemoveKeys();
        BrackmoorTest::TearDown();
    }
    static void RemoveKeys()
    {
        for (const std::vector<const char *> *keys : {&kRecordedKeys, &kHijackKeys})
            for (const char *key : *keys) {
                RegDeleteTreeView(HKEY_CLASSES_ROOT, key);
                RegDeleteTreeView(HKEY_LOCAL_MACHINE, (std::string("Software\\Classes\\") + key).c_str());
            }
        for (const char *ext : {kExt, kTwo})
            RegDeleteTreeView(HKEY_CURRENT_USER, (std::string(FILEEXTS_KEY) + "\\" + ext).c_str());
    }
    // The three ways pointing at three programs, recorded as the baseline.
    void RecordThreeWays()
    {
        RegPut(HKEY_CLASSES_ROOT, kExt, "", "bmtst.m1");
        RegPut(HKEY_CLASSES_ROOT, CommandKey("bmtst.m1").c_str(), "", "%SystemRoot%\\bmold1.exe \"%1\"", 0,
               REG_EXPAND_SZ);
        RegPut(HKEY_CURRENT_USER, kFileExts, "Application", "bmold.exe");
        RegPut(HKEY_CLASSES_ROOT, CommandKey("Applications\\bmold.exe").c_str(), "", "C:\\Tools\\bmold.exe %1");
        RegPut(HKEY_CURRENT_USER, kFileExts, "ProgID", "bmtst.m3");
        RegPut(HKEY_CLASSES_ROOT, CommandKey("bmtst.m3").c_str(), "", "\"C:\\Tools\\old3.exe\" /open \"%1\"");
        RegPut(HKEY_CURRENT_USER, FILETYPE_CLASS_KEY, "", "BMTST;");
        for (int method = 1; method <= 4; method++)
            StoreFileTypeBaseline(kExt, method);
    }
    // Everything a reject may touch (or, with hijackers, what a hijack made), as text.
    static std::string AssociationKeys(bool hijackers = false)
    {
        std::string text = hijackers ? "" : KeyTreeText(HKEY_CURRENT_USER, kFileExts);
        for (const char *key : hijackers ? kHijackKeys : kRecordedKeys)
            text += KeyTreeText(HKEY_CLASSES_ROOT, key);
        return text;
    }
};

TEST_F(FileTypeTest, EachLookupFollowsItsClassToTheOpenCommand)
{
    const char *const classes[] = {"", "bmtst.m1", "bmold.exe", "bmtst.m3", "bmtst.m1"};
    for (int method = 1; method <= 4; method++) {
        SCOPED_TRACE("method " + std::to_string(method));
        RemoveKeys();
        auto putClass = [&](const char *value) {
            if (method == 1 || method == 4)
                RegPut(method == 1 ? HKEY_LOCAL_MACHINE : HKEY_CLASSES_ROOT,
                       method == 1 ? "Software\\Classes\\.bmtst" : ".bmtst", "", value);
            else
                RegPut(HKEY_CURRENT_USER, kFileExts, method == 2 ? "Application" : "ProgID", value);
        };
        std::string commandKey =
            CommandKey(method == 2 ? std::string("Applications\\") + classes[method] : classes[method]);
        char cls[MAX_PATH + kGuardLen], command[MAX_PATH + kGuardLen];
        auto lookup = [&] {
            FillGuarded(cls, sizeof(cls));
            FillGuarded(command, sizeof(command));
            int found = GetAssociation(kExt, method, cls, command);
            EXPECT_TRUE(GuardIntact(cls, MAX_PATH) && GuardIntact(command, MAX_PATH));
            return found;
        };
        EXPECT_EQ(0, lookup()) << "no class";
        putClass("");
        EXPECT_EQ(0, lookup()) << "empty class";
        putClass(classes[method]);
        EXPECT_EQ(0, lookup()) << "no command";
        RegPut(HKEY_CLASSES_ROOT, commandKey.c_str(), "", "%SystemRoot%\\x.exe \"%1\"", 0, REG_EXPAND_SZ);
        ASSERT_NE(0, lookup());
        EXPECT_STREQ(classes[method], cls);
        EXPECT_STREQ("%SystemRoot%\\x.exe \"%1\"", command) << "the command as stored";
        RegPut(HKEY_CLASSES_ROOT, commandKey.c_str(), "", std::string(300, 'c').c_str());
        EXPECT_EQ(0, lookup()) << "an over-long command is unreadable, not cut";
    }
}

TEST_F(FileTypeTest, AChangeByOneMethodIsFoundAndAcceptMovesTheBaseline)
{
    RecordThreeWays();
    giHideFileType = 1;     // accepted without a dialog
    EXPECT_EQ(0, VerifyFileTypes(NULL));
    // Moved to another folder under the same file name: not a change.
    RegPut(HKEY_CLASSES_ROOT, CommandKey("Applications\\bmold.exe").c_str(), "", "D:\\Moved\\BMOLD.EXE %1");
    EXPECT_EQ(0, VerifyFileTypes(NULL));

    RegPut(HKEY_CLASSES_ROOT, CommandKey("Applications\\bmold.exe").c_str(), "", "C:\\Evil\\new2.exe %1");
    EXPECT_EQ(1, VerifyFileTypes(NULL)) << "method 2 alone";
    EXPECT_EQ("C:\\EVIL\\NEW2.EXE", RegText(HKEY_CURRENT_USER, FILETYPE_CLASS_KEY, "bmold.exe"));
    EXPECT_EQ(1, HistoryLinesWith({"LOG_ALERT_FILETYPE\tTYPE_FILETYPE\t.BMTST\tC:\\EVIL\\NEW2.EXE\tAccepted"}));

    RegPut(HKEY_CLASSES_ROOT, CommandKey("bmtst.evil").c_str(), "", "C:\\Evil\\new3.exe");
    RegPut(HKEY_CURRENT_USER, kFileExts, "ProgID", "bmtst.evil");
    EXPECT_EQ(1, VerifyFileTypes(NULL)) << "method 3 alone";
    EXPECT_EQ("bmtst.evil", RegText(HKEY_CURRENT_USER, FILETYPE_EXTPROGID_KEY, kExt));
    EXPECT_EQ(0, VerifyFileTypes(NULL)) << "accepted changes are not asked about again";
    uintptr_t slot = NextHandleSlot();
    for (int i = 0; i < 5; i++)
        VerifyFileTypes(NULL);
    EXPECT_EQ(slot, NextHandleSlot()) << "no handle left open";

    // A second extension on the same class costs its own class value and its
    // recorded class, nothing read twice.
    int before = giFileTypeValueReads;
    VerifyFileTypes(NULL);
    int one = giFileTypeValueReads - before;
    RegPut(HKEY_CLASSES_ROOT, kTwo, "", "bmtst.m1");
    RegPut(HKEY_CURRENT_USER, FILETYPE_CLASS_KEY, "", "BMTST;BMTWO;");
    StoreFileTypeBaseline(kTwo, 1);
    before = giFileTypeValueReads;
    EXPECT_EQ(0, VerifyFileTypes(NULL));
    EXPECT_EQ(one + 2, giFileTypeValueReads - before);
}

TEST_F(FileTypeTest, RejectAndTheLockWriteBackExactlyWhatWasRecorded)
{
    RecordThreeWays();
    const std::string recorded = AssociationKeys();
    giHideFileType = 2;     // rejected without a dialog
    // First every way re-pointed to other classes, then every recorded class's own command rewritten.
    RegPut(HKEY_CLASSES_ROOT, CommandKey("bmtst.evil").c_str(), "", "C:\\Evil\\evil.exe \"%1\"");
    RegPut(HKEY_CLASSES_ROOT, CommandKey("Applications\\bmevil.exe").c_str(), "", "C:\\Evil\\bmevil.exe \"%1\"");
    RegPut(HKEY_CLASSES_ROOT, kExt, "", "bmtst.evil");
    RegPut(HKEY_CURRENT_USER, kFileExts, "Application", "bmevil.exe");
    RegPut(HKEY_CURRENT_USER, kFileExts, "ProgID", "bmtst.evil");
    const std::string hijackers = AssociationKeys(true);
    EXPECT_EQ(3, VerifyFileTypes(NULL));
    EXPECT_EQ(recorded, AssociationKeys()) << "the recorded classes and commands back, their value types too";
    EXPECT_EQ(hijackers, AssociationKeys(true)) << "what is not the association stays";
    EXPECT_EQ(3, HistoryLinesWith({"LOG_ALERT_FILETYPE", ".BMTST", "Rejected, restored"}));

    for (const char *cls : {"bmtst.m1", "Applications\\bmold.exe", "bmtst.m3"})
        RegPut(HKEY_CLASSES_ROOT, CommandKey(cls).c_str(), "", "C:\\Evil\\other.exe");
    giLockFileTypes = 1;
    giHideFileType = 0;     // the lock reverts without asking all the same
    EXPECT_EQ(3, VerifyFileTypes(NULL));
    EXPECT_EQ(recorded, AssociationKeys());
    EXPECT_EQ(3, HistoryLinesWith({"LOG_ALERT_FILETYPE", ".BMTST", "Locked, restored"}));

    // The merged view's own record (method 4).
    RegPut(HKEY_CLASSES_ROOT, kExt, "", "bmtst.shared");
    RegPut(HKEY_CLASSES_ROOT, CommandKey("bmtst.m1").c_str(), "", "C:\\Evil\\other.exe");
    EXPECT_EQ(1, RestoreFileType(kExt, 4));
    EXPECT_EQ(recorded, AssociationKeys());
    EXPECT_EQ(0, RestoreFileType(kTwo, 1)) << "nothing recorded, nothing written";
    EXPECT_EQ(recorded, AssociationKeys());
}

TEST_F(FileTypeTest, StopMonitoringTakesOutTheExtensionAndOnlyItsValues)
{
    RegPut(HKEY_CLASSES_ROOT, CommandKey("bmtst.shared").c_str(), "", "C:\\Tools\\shared.exe %1");
    RegPut(HKEY_CLASSES_ROOT, kExt, "", "bmtst.shared");
    RegPut(HKEY_CLASSES_ROOT, kTwo, "", "bmtst.shared");
    RegPut(HKEY_CURRENT_USER, FILETYPE_CLASS_KEY, "", "AVI;bmtst;BMTWO;");
    for (const char *ext : {kExt, kTwo})
        for (int method = 1; method <= 4; method++)
            StoreFileTypeBaseline(ext, method);
    const std::string other = KeyTreeText(HKEY_CURRENT_USER, FILETYPE_EXTAPP_KEY);

    EXPECT_EQ(1, StopMonitoringFileType(".BMTST"));
    EXPECT_EQ("AVI;BMTWO;", RegText(HKEY_CURRENT_USER, FILETYPE_CLASS_KEY, ""));
    for (const char *key : {FILETYPE_EXT_KEY, FILETYPE_EXTROOT_KEY})
        EXPECT_FALSE(RegHasValue(HKEY_CURRENT_USER, key, kExt)) << key;
    EXPECT_EQ("bmtst.shared", RegText(HKEY_CURRENT_USER, FILETYPE_EXT_KEY, kTwo));
    EXPECT_TRUE(RegHasValue(HKEY_CURRENT_USER, FILETYPE_CLASS_KEY, "bmtst.shared")) << "still .bmtwo's class";
    EXPECT_EQ(other, KeyTreeText(HKEY_CURRENT_USER, FILETYPE_EXTAPP_KEY));

    EXPECT_EQ(1, StopMonitoringFileType("bmtwo"));
    EXPECT_EQ("AVI;", RegText(HKEY_CURRENT_USER, FILETYPE_CLASS_KEY, ""));
    for (const char *key : {FILETYPE_CLASS_KEY, FILETYPE_CLASSCOMMAND_KEY, FILETYPE_CLASSROOT_KEY})
        EXPECT_FALSE(RegHasValue(HKEY_CURRENT_USER, key, "bmtst.shared")) << key;
}

TEST_F(FileTypeTest, FirstStartRecordsTheListAndEveryKey)
{
    InitFileTypes();
    EXPECT_EQ(LangText(750), RegText(HKEY_CURRENT_USER, FILETYPE_CLASS_KEY, ""));
    EXPECT_EQ(FILETYPE_MARKER, RegText(HKEY_CURRENT_USER, FILETYPE_EXT_KEY, ""));
    for (const char *key : {FILETYPE_EXTAPP_KEY, FILETYPE_EXTPROGID_KEY, FILETYPE_EXTROOT_KEY, FILETYPE_CLASSROOT_KEY,
                            FILETYPE_EXTTYPE_KEY, FILETYPE_CLASSCOMMAND_KEY})
        EXPECT_TRUE(RegHasKey(HKEY_CURRENT_USER, key)) << key;
    // Later starts leave a user's list alone.
    RegPut(HKEY_CURRENT_USER, FILETYPE_CLASS_KEY, "", "BMTST;");
    InitFileTypes();
    EXPECT_EQ("BMTST;", RegText(HKEY_CURRENT_USER, FILETYPE_CLASS_KEY, ""));
}

// The alert as a user meets it: both programs named, the box ticked.
TEST_F(FileTypeTest, TickingTheBoxRevertsOnceAndStopsTheAlerts)
{
    RecordThreeWays();
    const std::string recorded = AssociationKeys();
    giShowAlerts = 1;
    RegPut(HKEY_CLASSES_ROOT, CommandKey("bmtst.m3").c_str(), "", "C:\\Evil\\ticked.exe");
    std::string oldPath, newPath;
    DialogDriver driver([&](HWND alert) {
        oldPath = ControlText(alert, IDC_FT_OLDPATH);
        newPath = ControlText(alert, IDC_FT_NEWPATH);
        PostMessageA(GetDlgItem(alert, IDC_CHECK), BM_CLICK, 0, 0);
        return 0;   // no button: the box alone answers
    });
    EXPECT_EQ(1, VerifyFileTypes(NULL));
    std::vector<SeenDialog> seen = driver.Stop();
    ASSERT_EQ(1u, seen.size());
    EXPECT_EQ(LangText(760), seen[0].caption);
    EXPECT_EQ("C:\\TOOLS\\OLD3.EXE", oldPath);
    EXPECT_EQ("C:\\EVIL\\TICKED.EXE", newPath);
    EXPECT_EQ(recorded, AssociationKeys()) << "reverted once";
    EXPECT_EQ("", RegText(HKEY_CURRENT_USER, FILETYPE_CLASS_KEY, ""));
    RegPut(HKEY_CLASSES_ROOT, CommandKey("bmtst.m3").c_str(), "", "C:\\Evil\\ticked.exe");
    EXPECT_EQ(0, VerifyFileTypes(NULL)) << "no longer watched";
}

}  // namespace
