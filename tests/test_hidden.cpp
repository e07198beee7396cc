// The hidden files watcher on files of its own in the system folders, read back from the
// folders, the vault and the history.
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "common/file_facts.h"
#include "common/reg_script.h"
#include "support/system_state.h"
#include "support/test_env.h"
#include "watchers/hidden.h"

namespace {

class HiddenTest : public BrackmoorTest {
protected:
    void SetUp() override
    {
        BrackmoorTest::SetUp();
        giShowAlerts = 0;
        giSuppressExtraAlerts = 0;
        FreeFileFacts();
    }
    void TearDown() override
    {
        for (auto it = made_.rbegin(); it != made_.rend(); ++it)
            RemoveTree(*it);
        BrackmoorTest::TearDown();
    }
    // A file (or, with a trailing "\", a folder) with these attributes, removed after the test.
    std::string Make(const std::string &path, DWORD attributes = FILE_ATTRIBUTE_HIDDEN)
    {
        if (path.back() == '\\') {
            std::string folder = path.substr(0, path.size() - 1);
            CreateDirectoryA(folder.c_str(), NULL);
            made_.push_back(folder);
            return folder;
        }
        WriteWholeFile(path, "made by a test: " + path);
        SetFileAttributesA(path.c_str(), attributes);
        made_.push_back(path);
        return path;
    }
    static std::vector<std::string> Listed()
    {
        OwnedRunList list;
        ListHiddenFiles(list);
        std::vector<std::string> paths;
        for (const RunRecord &r : RunRecords(list))
            if (r.path.find("bmhid") != std::string::npos)
                paths.push_back(r.path + (r.extra ? "" : " (system)"));
        return paths;
    }
    std::vector<std::string> made_;
};

TEST_F(HiddenTest, TheWalkSeesHiddenFilesToItsDepths)
{
    const std::string win = WindowsFolder(), sys = SystemFolder();
    Make("C:\\bmhid_root.dat");
    Make("C:\\bmhid_sub\\");
    Make("C:\\bmhid_sub\\below_root.dat");
    Make(win + "\\bmhid_win.dat", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    Make(win + "\\bmhid_windir\\");
    Make(win + "\\bmhid_windir\\below_windows.dat");
    Make(sys + "\\bmhid_plain.dat", FILE_ATTRIBUTE_NORMAL);
    Make(sys + "\\bmhid_one\\");
    SetFileAttributesA((sys + "\\bmhid_one").c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_DIRECTORY);
    Make(sys + "\\bmhid_one\\one.dat");
    Make(sys + "\\bmhid_one\\two\\");
    Make(sys + "\\bmhid_one\\two\\two.dat");
    const std::vector<std::string> expected = {"C:\\bmhid_root.dat", win + "\\bmhid_win.dat (system)",
                                               sys + "\\bmhid_one\\one.dat"};
    EXPECT_EQ(expected, Listed()) << "the root and the Windows folder alone, the system folder one level down; "
                                     "no plain file, no hidden folder";
}

TEST_F(HiddenTest, FilesOfTheFirstStartAreNeverAskedAboutAndAllowedOnesStayKnown)
{
    const std::string early = Make(WindowsFolder() + "\\bmhid_early.dat");
    InitHiddenFiles();
    EXPECT_EQ(HIDDEN_MARKER, RegText(HKEY_CURRENT_USER, HIDDEN_BASELINE_KEY, ""));
    EXPECT_FALSE(RegText(HKEY_CURRENT_USER, HIDDEN_BASELINE_KEY, early.c_str()).empty());
    giHideHidden = 0;
    giShowAlerts = 1;       // an alert would wait for an answer that never comes
    giFileFactVersionReads = 0;
    EXPECT_EQ(0, VerifyHiddenFiles(NULL));
    EXPECT_EQ(0, giFileFactVersionReads) << "no version record of a known file";
    uintptr_t slot = NextHandleSlot();
    for (int i = 0; i < 3; i++)
        VerifyHiddenFiles(NULL);
    EXPECT_EQ(slot, NextHandleSlot()) << "no handle left open";

    // A newcomer (an image with a version record) allowed without a dialog.
    const std::string late = WindowsFolder() + "\\bmhid_late.exe";
    ASSERT_TRUE(CopyFileA(ThisProgram().c_str(), late.c_str(), FALSE));
    SetFileAttributesA(late.c_str(), FILE_ATTRIBUTE_HIDDEN);
    made_.push_back(late);
    Listed();
    Listed();
    EXPECT_EQ(1, giFileFactVersionReads) << "read once, kept by the file's identity";
    giShowAlerts = 0;
    giHideHidden = 1;
    EXPECT_EQ(1, VerifyHiddenFiles(NULL));
    EXPECT_EQ(1, HistoryLinesWith({"HIDDEN_Alert\tTYPE_HIDDEN", late}));
    EXPECT_FALSE(RegText(HKEY_CURRENT_USER, HIDDEN_BASELINE_KEY, late.c_str()).empty());
    giShowAlerts = 1;
    EXPECT_EQ(0, VerifyHiddenFiles(NULL));
    const std::string baseline = KeyTreeText(HKEY_CURRENT_USER, HIDDEN_BASELINE_KEY);
    InitHiddenFiles();
    EXPECT_EQ(baseline, KeyTreeText(HKEY_CURRENT_USER, HIDDEN_BASELINE_KEY)) << "a later start keeps the baseline";
}

TEST_F(HiddenTest, DeleteKeepsACopyAndAScriptAndChangesNothingElse)
{
    const std::string win = WindowsFolder(), sys = SystemFolder(), vault = DataFolder() + "\\vault";
    InitHiddenFiles();
    const std::string before = FolderListing(win);
    const std::string first = Make(win + "\\bmhid_same.dat"), second = Make(sys + "\\bmhid_same.dat");
    giHideHidden = 2;       // deleted without a dialog
    EXPECT_EQ(2, VerifyHiddenFiles(NULL));
    EXPECT_EQ(before, FolderListing(win));
    EXPECT_FALSE(PathExists(second));
    // The second file of the same name does not overwrite the first one's copy.
    for (const std::string &kept : {vault + "\\bmhid_same.dat", vault + "\\2_bmhid_same.dat"}) {
        SCOPED_TRACE(kept);
        DWORD attributes = GetFileAttributesA(kept.c_str());
        EXPECT_TRUE(attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_HIDDEN));
        char script[MAX_PATH];
        ASSERT_TRUE(VaultRestoreScriptPath(kept.c_str(), script, sizeof(script)));
        EXPECT_NE(std::string::npos, ReadWholeFile(script).find("move  \"" + kept + "\"  \""));
    }
    EXPECT_NE(ReadWholeFile(vault + "\\bmhid_same.dat"), ReadWholeFile(vault + "\\2_bmhid_same.dat"));
    EXPECT_EQ(2, HistoryLinesWith({"*HIDDEN_DeleteFile\tTYPE_HIDDEN", "bmhid_same.dat"}));

    // A file held open stays, hidden, with no line and nothing left in the vault.
    const std::string held = Make(win + "\\bmhid_held.dat");
    HANDLE open = CreateFileA(held.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    const std::string vaultBefore = FolderListing(vault);
    EXPECT_EQ(0, DeleteHiddenFile("bmhid_held", held.c_str()));
    CloseHandle(open);
    DWORD attributes = GetFileAttributesA(held.c_str());
    EXPECT_TRUE(attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_HIDDEN));
    EXPECT_EQ(0, HistoryLinesWith({"*HIDDEN_DeleteFile", "bmhid_held"}));
    EXPECT_EQ(vaultBefore, FolderListing(vault));
}

}  // namespace
