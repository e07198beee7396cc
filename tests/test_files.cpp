// File and path utilities, checked against what the file system and the
// registry themselves say.
#include <windows.h>

#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include "common/files.h"
#include "common/registry.h"
#include "common/text.h"
#include "common/tracelog.h"
#include "startup/runlist.h"
#include "support/system_state.h"
#include "support/test_env.h"

namespace {


const char *const kCurrentVersion = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
const char *const kInternational = "Control Panel\\International";
const char *const kBaselineRun = "Software\\Dunmere Works\\Brackmoor\\Run";

std::string WinDir()
{
    char buf[MAX_PATH];
    UINT n = GetWindowsDirectoryA(buf, MAX_PATH);
    return std::string(buf, n);
}

std::string SysDir()
{
    char buf[MAX_PATH];
    UINT n = GetSystemDirectoryA(buf, MAX_PATH);
    return std::string(buf, n);
}

std::string Upper(std::string s)
{
    if (!s.empty())
        CharUpperBuffA(&s[0], (DWORD)s.size());
    return s;
}

// The system's message for an error code without its line end.
std::string SystemText(DWORD code)
{
    char *text = NULL;
    FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                   NULL, code, 0x400, (LPSTR)&text, 0, NULL);
    std::string s = text ? text : "";
    if (text)
        LocalFree(text);
    while (!s.empty() && (s.back() == '\r' || s.back() == '\n' || s.back() == ' '))
        s.pop_back();
    return s;
}



bool IsFile(const std::string &path)
{
    DWORD a = GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

struct SavedRegValue {
    HKEY root;
    std::string path, name;
    REGSAM view;
    bool keyExisted, valueExisted;
    DWORD type;
    std::vector<BYTE> data;
};

class Files : public BrackmoorTest {
protected:
    std::vector<SavedRegValue> saved;

    // Keeps a system value as it is now; TearDown puts it back (or removes it).
    void SaveValue(HKEY root, const char *path, const char *name, REGSAM view = 0)
    {
        SavedRegValue s{root, path, name, view, false, false, 0, {}};
        HKEY key;
        if (RegOpenKeyExA(root, path, 0, KEY_READ | view, &key) == ERROR_SUCCESS) {
            s.keyExisted = true;
            DWORD size = 0;
            if (RegQueryValueExA(key, name, NULL, &s.type, NULL, &size) == ERROR_SUCCESS) {
                s.data.resize(size + 1);
                if (RegQueryValueExA(key, name, NULL, &s.type, s.data.data(), &size) == ERROR_SUCCESS) {
                    s.valueExisted = true;
                    s.data.resize(size);
                }
            }
            RegCloseKey(key);
        }
        saved.push_back(s);
    }

    void TearDown() override
    {
        for (auto it = saved.rbegin(); it != saved.rend(); ++it) {
            if (it->valueExisted)
                RegPutBinary(it->root, it->path.c_str(), it->name.c_str(), it->data.data(),
                             (DWORD)it->data.size(), it->type, it->view);
            else if (it->keyExisted)
                RegRemoveValue(it->root, it->path.c_str(), it->name.c_str(), it->view);
            else
                RegDeleteTreeView(it->root, it->path.c_str(), it->view);
        }
        saved.clear();
        BrackmoorTest::TearDown();
    }

    // Trace entries are written from here on.
    void EnableTrace()
    {
        CreateDirectoryA(DataFolder().c_str(), NULL);
        TestLogCounter = 0;
    }

    std::string MakeFile(const std::string &name, const std::string &text = "x")
    {
        std::string path = TempFolder() + "\\" + name;
        WriteWholeFile(path, text);
        return path;
    }

    std::string MakeFolder(const std::string &name)
    {
        std::string path = TempFolder() + "\\" + name;
        CreateDirectoryA(path.c_str(), NULL);
        return path;
    }
};

std::string Extract(const std::string &command)
{
    char out[MAX_PATH + kGuardLen];
    FillGuarded(out, sizeof(out));
    int len = ExtractProgramPath(command.c_str(), out);
    EXPECT_TRUE(GuardIntact(out, MAX_PATH)) << command;
    EXPECT_EQ((int)strlen(out), len) << command;
    return out;
}

// ---------------------------------------------------------------------------

TEST_F(Files, ExtractProgramPathTurnsCommandLinesIntoUpperCasePaths)
{
    const std::string win = Upper(WinDir());
    struct Row {
        std::string command, expected;
    } rows[] = {
        {"\"C:\\Program Files\\Foo\\foo.exe\" /background", "C:\\PROGRAM FILES\\FOO\\FOO.EXE"},
        {"C:\\Tools\\app.exe -min", "C:\\TOOLS\\APP.EXE"},
        {"c:\\lib\\helper.dll,Start", "C:\\LIB\\HELPER.DLL"},
        {"%SystemRoot%\\system32\\shell32.dll,Control_RunDLL", win + "\\SYSTEM32\\SHELL32.DLL"},
        {"%windir%\\notepad.exe", win + "\\NOTEPAD.EXE"},
        {"%WINDIR%\\system32\\userinit.exe,", win + "\\SYSTEM32\\USERINIT.EXE"},
        {"rundll32.exe shell32.dll,Control_RunDLL", "RUNDLL32.EXE"},
        {"C:\\WINDOWS\\system32\\rundll32.exe C:\\x\\y.dll,Entry", "C:\\WINDOWS\\SYSTEM32\\RUNDLL32.EXE"},
        // Any extension whose third letter is X or L ends the path.
        {"C:\\data\\report.xls other", "C:\\DATA\\REPORT.XLS"},
        // ".sys" does not: the scan runs on through the arguments.
        {"C:\\drv\\x.sys /q", "C:\\DRV\\X.SYS /Q"},
        {"no extension here", "NO EXTENSION HERE"},
        // The last drive before the extension decides where the path begins.
        {"\"cmd\" /c D:\\run\\go.exe x", "D:\\RUN\\GO.EXE"},
        {"notepad.exe", "NOTEPAD.EXE"},
        {"", ""},
    };
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); i++)
        EXPECT_EQ(rows[i].expected, Extract(rows[i].command)) << "row " << i << ": " << rows[i].command;

    // An over-long command is cut at the path buffer.
    std::string longCommand = "C:\\" + std::string(600, 'a');
    std::string out = Extract(longCommand);
    EXPECT_EQ((size_t)MAX_PATH - 1, out.size());
    EXPECT_EQ("C:\\" + std::string(MAX_PATH - 4, 'A'), out);

    char nullOut[MAX_PATH + kGuardLen];
    FillGuarded(nullOut, sizeof(nullOut));
    EXPECT_EQ(0, ExtractProgramPath(NULL, nullOut));
    EXPECT_STREQ("", nullOut);
    EXPECT_TRUE(GuardIntact(nullOut, MAX_PATH));
}

TEST_F(Files, ExtractProgramPathTakesProgramFilesFromTheRegistry)
{
    SaveValue(HKEY_LOCAL_MACHINE, kCurrentVersion, "ProgramFilesDir", KEY_WOW64_64KEY);
    SaveValue(HKEY_LOCAL_MACHINE, kCurrentVersion, "ProgramFilesDir (x86)", KEY_WOW64_64KEY);

    RegPut(HKEY_LOCAL_MACHINE, kCurrentVersion, "ProgramFilesDir", "D:\\TestPF", KEY_WOW64_64KEY);
    RegPut(HKEY_LOCAL_MACHINE, kCurrentVersion, "ProgramFilesDir (x86)", "E:\\Pf86", KEY_WOW64_64KEY);
    EXPECT_EQ("D:\\TESTPF\\FOO\\BAR.EXE", Extract("%ProgramFiles%\\Foo\\bar.exe"));
    EXPECT_EQ("D:\\TESTPF\\FOO\\BAR.EXE", Extract("%programfiles%\\Foo\\bar.exe -s"));
    EXPECT_EQ("E:\\PF86\\FOO\\BAR.EXE", Extract("%ProgramFiles(x86)%\\Foo\\bar.exe"));

    RegRemoveValue(HKEY_LOCAL_MACHINE, kCurrentVersion, "ProgramFilesDir", KEY_WOW64_64KEY);
    RegRemoveValue(HKEY_LOCAL_MACHINE, kCurrentVersion, "ProgramFilesDir (x86)", KEY_WOW64_64KEY);
    EXPECT_EQ("C:\\PROGRAM FILES\\FOO\\BAR.EXE", Extract("%ProgramFiles%\\Foo\\bar.exe"));
    EXPECT_EQ("C:\\PROGRAM FILES (X86)\\FOO\\BAR.EXE", Extract("%ProgramFiles(x86)%\\Foo\\bar.exe"));
}

TEST_F(Files, ExtractProgramPathRetriesTheSixtyFourBitProgramFolder)
{
    ASSERT_TRUE(Is64BitWindows);
    const std::string vendor = "C:\\Program Files\\BrackmoorTestVendor";
    CreateDirectoryA(vendor.c_str(), NULL);
    WriteWholeFile(vendor + "\\tool.exe", "MZ");
    std::string found = Extract("\"C:\\Program Files (x86)\\BrackmoorTestVendor\\tool.exe\" /q");
    std::string missing = Extract("C:\\Program Files (x86)\\BrackmoorTestVendor\\other.exe");
    DeleteFileA((vendor + "\\tool.exe").c_str());
    RemoveDirectoryA(vendor.c_str());

    EXPECT_EQ("C:\\PROGRAM FILES\\BRACKMOORTESTVENDOR\\TOOL.EXE", found);
    EXPECT_EQ("C:\\PROGRAM FILES (X86)\\BRACKMOORTESTVENDOR\\OTHER.EXE", missing);
}

TEST_F(Files, RundllTargetGivesWhatFollowsRundll32)
{
    struct Row {
        const char *command;
        int result;
        const char *expected;
    } rows[] = {
        {"rundll32.exe shell32.dll,Control_RunDLL desk.cpl", 1, "shell32.dll,Control_RunDLL desk.cpl"},
        {"C:\\WINDOWS\\system32\\RUNDLL32.EXE C:\\x\\y.dll,Entry", 1, "C:\\x\\y.dll,Entry"},
        {"RunDll32.exe advpack.dll,DelNodeRunDLL32 C:\\t", 1, "advpack.dll,DelNodeRunDLL32 C:\\t"},
        {"rundll32.exe", 1, ""},
        {"C:\\x\\app.exe /s", 0, "C:\\x\\app.exe /s"},
        {"rundll.exe x.dll", 0, "rundll.exe x.dll"},
        {"", 0, ""},
    };
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); i++) {
        char out[MAX_PATH + kGuardLen];
        FillGuarded(out, sizeof(out));
        EXPECT_EQ(rows[i].result, RundllTarget(rows[i].command, out, MAX_PATH)) << "row " << i;
        EXPECT_STREQ(rows[i].expected, out) << "row " << i;
        EXPECT_TRUE(GuardIntact(out, MAX_PATH)) << "row " << i;
    }

    // The output stays inside the capacity it is given.
    char small[8 + kGuardLen];
    FillGuarded(small, sizeof(small));
    EXPECT_EQ(1, RundllTarget("rundll32.exe shell32.dll,Control_RunDLL", small, 8));
    EXPECT_STREQ("shell32", small);
    EXPECT_TRUE(GuardIntact(small, 8));
}

TEST_F(Files, FileExistsFindsFilesAndBareSystemNames)
{
    std::string temp = MakeFile("present file with a rather long name.txt");
    struct Row {
        std::string path;
        int result;
    } rows[] = {
        {"notepad.exe", 1},
        {temp, 1},
        {"C:\\no\\such\\folder\\missing.exe", 0},
        {"nosuchprogram_brackmoor.exe", 0},
        {"", 0},
    };
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); i++) {
        char buf[MAX_PATH + kGuardLen];
        FillGuarded(buf, sizeof(buf));
        CopyText(buf, MAX_PATH, rows[i].path.c_str());
        EXPECT_EQ(rows[i].result, FileExists(buf)) << "row " << i << ": " << rows[i].path;
        // On 64-bit Windows the caller's buffer is left alone.
        EXPECT_EQ(rows[i].path, std::string(buf)) << "row " << i;
        EXPECT_TRUE(GuardIntact(buf, MAX_PATH)) << "row " << i;
    }

    // A path that fills its buffer without a terminator is not looked at.
    char full[MAX_PATH + kGuardLen];
    FillGuarded(full, sizeof(full));
    memset(full, 'a', MAX_PATH);
    EXPECT_EQ(0, FileExists(full));
    EXPECT_TRUE(GuardIntact(full, MAX_PATH));
}

TEST_F(Files, FileExistsOnThirtyTwoBitWindowsWritesTheFullPathBack)
{
    std::string expected = IsFile(WinDir() + "\\notepad.exe") ? WinDir() + "\\notepad.exe"
                                                              : SysDir() + "\\notepad.exe";
    std::string temp = MakeFile("thirty-two bit branch with a long file name.txt");
    int saved = Is64BitWindows;
    Is64BitWindows = 0;

    char buf[MAX_PATH + kGuardLen];
    FillGuarded(buf, sizeof(buf));
    CopyText(buf, MAX_PATH, "notepad.exe");
    int bare = FileExists(buf);
    std::string bareOut = buf;
    bool guard = GuardIntact(buf, MAX_PATH);

    CopyText(buf, MAX_PATH, temp.c_str());
    int longName = FileExists(buf);
    std::string longOut = buf;

    CopyText(buf, MAX_PATH, "nosuchprogram_brackmoor.exe");
    int missing = FileExists(buf);
    std::string missingOut = buf;
    Is64BitWindows = saved;

    EXPECT_EQ(1, bare);
    EXPECT_STREQ(Upper(expected).c_str(), Upper(bareOut).c_str());
    EXPECT_TRUE(guard);
    EXPECT_EQ(1, longName);
    EXPECT_EQ(temp, longOut);
    EXPECT_EQ(0, missing);
    EXPECT_EQ("nosuchprogram_brackmoor.exe", missingOut);
}

TEST_F(Files, FileExistsTracesOnlyLongPathsAndOnlyWhenTracing)
{
    char buf[MAX_PATH];
    CopyText(buf, MAX_PATH, "C:\\no\\such\\folder\\with\\a\\long\\name\\missing.exe");
    EXPECT_EQ(0, FileExists(buf));
    EXPECT_TRUE(TraceEntries().empty());

    EnableTrace();
    CopyText(buf, MAX_PATH, "short\\missing.exe");
    EXPECT_EQ(0, FileExists(buf));
    EXPECT_FALSE(TraceHas("Original Filename ="));
    CopyText(buf, MAX_PATH, "C:\\no\\such\\folder\\with\\a\\long\\name\\missing.exe");
    EXPECT_EQ(0, FileExists(buf));
    EXPECT_TRUE(TraceHas("Original Filename =: C:\\no\\such\\folder\\with\\a\\long\\name\\missing.exe"));
    buf[0] = '\0';
    EXPECT_EQ(0, FileExists(buf));
    EXPECT_TRUE(TraceHas("FileExists() called with a NULL file ---"));
}

TEST_F(Files, FolderAndFileParts)
{
    struct Row {
        std::string path, folder;
        int folderLen;
    } rows[] = {
        {"C:\\x.exe", "C:\\", 3},
        {"C:\\a\\b\\c.exe", "C:\\a\\b", 6},
        {"\\\\server\\share\\tool.exe", "\\\\server\\share", 14},
        {"notepad.exe", WinDir(), (int)WinDir().size()},
        {"nosuchprogram_brackmoor.exe", "", 0},
        {"a_name_of_thirty-two_characters.", "", 0},
        {"", "", 0},
    };
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); i++) {
        char out[MAX_PATH + kGuardLen];
        FillGuarded(out, sizeof(out));
        EXPECT_EQ(rows[i].folderLen, GetFolderOfProgram(rows[i].path.c_str(), out)) << "row " << i;
        EXPECT_EQ(rows[i].folder, std::string(out)) << "row " << i;
        EXPECT_TRUE(GuardIntact(out, MAX_PATH)) << "row " << i;
    }

    struct NameRow {
        const char *path, *name;
        int len;
    } names[] = {
        {"C:\\a\\b.exe", "b.exe", 5},
        {"C:\\a\\", "", 0},
        {"b.exe", "", 0},
    };
    for (size_t i = 0; i < sizeof(names) / sizeof(names[0]); i++) {
        char out[MAX_PATH + kGuardLen];
        FillGuarded(out, sizeof(out));
        EXPECT_EQ(names[i].len, FileNameOf(names[i].path, out)) << "name row " << i;
        EXPECT_STREQ(names[i].name, out) << "name row " << i;
    }

    char out[MAX_PATH + kGuardLen];
    FillGuarded(out, sizeof(out));
    EXPECT_EQ(12, StripQuotes("\"C:\\a b\\c.exe\"", out));
    EXPECT_STREQ("C:\\a b\\c.exe", out);
    EXPECT_EQ(15, StripQuotes("\"C:\\a b\\c.exe\" -x", out));
    EXPECT_STREQ("C:\\a b\\c.exe -x", out);
    // At most 511 characters are read and 259 written.
    std::string many = "\"" + std::string(600, 'q');
    EXPECT_EQ(MAX_PATH - 1, StripQuotes(many.c_str(), out));
    EXPECT_EQ(std::string(MAX_PATH - 1, 'q'), std::string(out));
    EXPECT_TRUE(GuardIntact(out, MAX_PATH));
}

TEST_F(Files, ProgramFilesVendorAndPlausibleNames)
{
    std::string pf = RegText(HKEY_LOCAL_MACHINE, kCurrentVersion, "ProgramFilesDir", KEY_WOW64_64KEY);
    ASSERT_FALSE(pf.empty());
    struct Row {
        std::string path, vendor;
        int end;
    } rows[] = {
        {pf + "\\Acme\\tool.exe", "Acme", (int)pf.size() + 5},
        {Upper(pf) + "\\Acme Corp\\bin\\tool.exe", "Acme Corp", (int)pf.size() + 10},
        {pf + "\\tool.exe", "", 0},
        {"C:\\Other\\x.exe", "", 0},
        {pf + "Extra\\Acme\\x.exe", "", 0},
        {"", "", 0},
    };
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); i++) {
        char out[MAX_PATH + kGuardLen];
        FillGuarded(out, sizeof(out));
        EXPECT_EQ(rows[i].end, GetProgramFilesVendor(rows[i].path.c_str(), out)) << "row " << i;
        EXPECT_EQ(rows[i].vendor, std::string(out)) << "row " << i;
    }

    struct Plausible {
        std::string text;
        int result;
    } names[] = {
        {"a.txt", 1},
        {"a.tx", 0},
        {std::string(254, 'n') + ".exe", 1},   // 258
        {std::string(255, 'n') + ".exe", 1},   // 259
        {std::string(256, 'n') + ".exe", 0},   // 260
        {"abcdefgh", 0},
        {"a b c d e.txt", 1},
        {"a b c d e f.txt", 0},
        {"     ", 0},
        {"  .  ", 1},
    };
    for (size_t i = 0; i < sizeof(names) / sizeof(names[0]); i++)
        EXPECT_EQ(names[i].result, IsPlausibleFileName(names[i].text.c_str())) << "row " << i;
    EXPECT_EQ(0, IsPlausibleFileName(NULL));
}

TEST_F(Files, EncodeForQueryAndUserName)
{
    struct Row {
        const char *text;
        size_t cap;
        const char *expected;
        int result;
    } rows[] = {
        {"My Program & Co", 64, "My%20Program%20+%20Co", 20},
        {"plain", 64, "plain", 4},
        {"a b", 4, "a", 0},      // never a half-written escape
        {"a b", 5, "a%20", 3},
        {"", 64, "", -1},
    };
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); i++) {
        char out[64 + kGuardLen];
        FillGuarded(out, sizeof(out));
        EXPECT_EQ(rows[i].result, EncodeForQuery(rows[i].text, out, rows[i].cap)) << "row " << i;
        EXPECT_STREQ(rows[i].expected, out) << "row " << i;
        EXPECT_TRUE(GuardIntact(out, rows[i].cap)) << "row " << i;
    }

    char saved[MAX_PATH] = "";
    DWORD had = GetEnvironmentVariableA("USERPROFILE", saved, MAX_PATH);
    struct Profile {
        std::string profile, user;
    } profiles[] = {
        {"C:\\users\\Tester", "Tester"},
        {"C:\\users\\Tester\\", "Tester"},
        {"C:\\users\\" + std::string(200, 'u'), std::string(127, 'u')},
    };
    for (size_t i = 0; i < sizeof(profiles) / sizeof(profiles[0]); i++) {
        SetEnvironmentVariableA("USERPROFILE", profiles[i].profile.c_str());
        char out[128 + kGuardLen];
        FillGuarded(out, sizeof(out));
        EXPECT_EQ((int)profiles[i].user.size(), GetUserNameFromProfile(out)) << "row " << i;
        EXPECT_EQ(profiles[i].user, std::string(out)) << "row " << i;
        EXPECT_TRUE(GuardIntact(out, 128)) << "row " << i;
    }
    SetEnvironmentVariableA("USERPROFILE", had ? saved : NULL);
}

TEST_F(Files, LongPathOfShortNames)
{
    std::string path = MakeFile("a rather long file name.text");
    char shortForm[MAX_PATH];
    ASSERT_GT(GetShortPathNameA(path.c_str(), shortForm, MAX_PATH), 0u);
    char out[MAX_PATH + kGuardLen];
    FillGuarded(out, sizeof(out));
    EXPECT_EQ((int)path.size(), GetLongPath(shortForm, out));
    EXPECT_STREQ(Upper(path).c_str(), Upper(out).c_str());
    EXPECT_TRUE(GuardIntact(out, MAX_PATH));

    // A missing file has no long form: the input comes back unchanged.
    FillGuarded(out, sizeof(out));
    EXPECT_EQ(0, GetLongPath("C:\\NOSUCH~1\\MISSIN~1.EXE", out));
    EXPECT_STREQ("C:\\NOSUCH~1\\MISSIN~1.EXE", out);
}

TEST_F(Files, GetMyFolderCreatesTheDataFolderOrFallsBack)
{
    char out[MAX_PATH + kGuardLen];
    FillGuarded(out, sizeof(out));
    ASSERT_FALSE(PathExists(DataFolder()));
    EXPECT_GT(GetMyFolder(out), 0);
    EXPECT_EQ(DataFolder(), std::string(out));
    EXPECT_TRUE(PathExists(DataFolder()));
    // The second call meets the folder already there.
    EXPECT_GT(GetMyFolder(out), 0);
    EXPECT_EQ(DataFolder(), std::string(out));
    EXPECT_TRUE(GuardIntact(out, MAX_PATH));

    FillGuarded(out, sizeof(out));
    EXPECT_EQ((int)BinFolder().size(), GetMyProgramFolder(out));
    EXPECT_EQ(BinFolder(), std::string(out));
    EXPECT_TRUE(GuardIntact(out, MAX_PATH));

    const char *shell = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
    SaveValue(HKEY_CURRENT_USER, shell, "AppData");
    RegPut(HKEY_CURRENT_USER, shell, "AppData", "Q:\\no\\such\\drive");
    FillGuarded(out, sizeof(out));
    EXPECT_GT(GetMyFolder(out), 0);
    EXPECT_EQ(BinFolder(), std::string(out));
}

TEST_F(Files, BrowserKindAndInternetExplorerPath)
{
    const char *command = "SOFTWARE\\Classes\\HTTP\\shell\\open\\command";
    SaveValue(HKEY_LOCAL_MACHINE, command, "", KEY_WOW64_64KEY);
    struct Row {
        const char *command;
        int kind;
    } rows[] = {
        {"\"C:\\Program Files\\Internet Explorer\\iexplore.exe\" -nohome", 1},
        {"C:\\Netscape\\netscp.exe \"%1\"", 2},
        {"C:\\Maxthon\\Maxthon.exe %1", 4},
        {"C:\\Avant Browser\\avant.exe", 5},
        // "mozilla" is tested before "firefox".
        {"\"C:\\Program Files\\Mozilla Firefox\\firefox.exe\" -url \"%1\"", 6},
        {"\"C:\\FF\\firefox.exe\" -url \"%1\"", 3},
        {"C:\\Pale Moon\\palemoon.exe", 9},
        {"C:\\Opera\\opera.exe", 1},
    };
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); i++) {
        RegPut(HKEY_LOCAL_MACHINE, command, "", rows[i].command, KEY_WOW64_64KEY);
        EXPECT_EQ(rows[i].kind, GetDefaultBrowserKind()) << "row " << i;
    }
    RegRemoveValue(HKEY_LOCAL_MACHINE, command, "", KEY_WOW64_64KEY);
    EXPECT_EQ(1, GetDefaultBrowserKind());

    const char *ie = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\IEXPLORE.EXE";
    SaveValue(HKEY_LOCAL_MACHINE, ie, "Path", KEY_WOW64_64KEY);
    char out[MAX_PATH + kGuardLen];
    RegPut(HKEY_LOCAL_MACHINE, ie, "Path", "D:\\IE Folder;", KEY_WOW64_64KEY);
    FillGuarded(out, sizeof(out));
    EXPECT_EQ((int)strlen("D:\\IE Folder\\iexplore.exe"), GetIEPath(out));
    EXPECT_STREQ("D:\\IE Folder\\iexplore.exe", out);
    RegPut(HKEY_LOCAL_MACHINE, ie, "Path", "D:\\IE", KEY_WOW64_64KEY);
    EXPECT_EQ((int)strlen("D:\\IE\\iexplore.exe"), GetIEPath(out));
    EXPECT_STREQ("D:\\IE\\iexplore.exe", out);
    RegPut(HKEY_LOCAL_MACHINE, ie, "Path", ("D:\\" + std::string(250, 'p')).c_str(), KEY_WOW64_64KEY);
    FillGuarded(out, sizeof(out));
    EXPECT_EQ(0, GetIEPath(out));
    EXPECT_STREQ("", out);
    EXPECT_TRUE(GuardIntact(out, MAX_PATH));
}

// ---------------------------------------------------------------------------

struct WalkLog {
    std::vector<std::string> paths;
    std::vector<int> modes;
    size_t stopAt;   // answer non-zero on this call (1-based); 0 never
};

int RecordWalk(const char *path, const WIN32_FIND_DATAA *found, void *arg)
{
    WalkLog *log = (WalkLog *)arg;
    EXPECT_NE(nullptr, found);
    log->paths.push_back(path);
    log->modes.push_back(giWalkMode);
    return log->stopAt != 0 && log->paths.size() >= log->stopAt;
}

TEST_F(Files, WalkFolderHonoursDepthDotEntriesAndStop)
{
    std::string root = MakeFolder("walk");
    WriteWholeFile(root + "\\a.txt", "a");
    CreateDirectoryA((root + "\\sub1").c_str(), NULL);
    WriteWholeFile(root + "\\sub1\\b.txt", "b");
    CreateDirectoryA((root + "\\sub1\\deep").c_str(), NULL);
    WriteWholeFile(root + "\\sub1\\deep\\c.txt", "c");
    CreateDirectoryA((root + "\\sub2").c_str(), NULL);
    CreateDirectoryA((root + "\\.dotted").c_str(), NULL);
    WriteWholeFile(root + "\\.dotted\\x.txt", "x");

    struct Row {
        int depth;
        std::vector<std::string> expected;
    } rows[] = {
        {0, {"a.txt", "sub1", "sub2", ".dotted"}},
        {1, {"a.txt", "sub1", "sub1\\b.txt", "sub1\\deep", "sub2", ".dotted"}},
        {2, {"a.txt", "sub1", "sub1\\b.txt", "sub1\\deep", "sub1\\deep\\c.txt", "sub2", ".dotted"}},
    };
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); i++) {
        char folder[MAX_PATH + kGuardLen];
        FillGuarded(folder, sizeof(folder));
        CopyText(folder, MAX_PATH, root.c_str());
        WalkLog log{{}, {}, 0};
        EXPECT_EQ(0, WalkFolder(folder, RecordWalk, rows[i].depth, &log)) << "row " << i;
        // The caller's folder gets its "\".
        EXPECT_EQ(root + "\\", std::string(folder)) << "row " << i;
        EXPECT_TRUE(GuardIntact(folder, MAX_PATH)) << "row " << i;
        std::vector<std::string> expected;
        for (const std::string &rel : rows[i].expected)
            expected.push_back(root + "\\" + rel);
        std::vector<std::string> got = log.paths;
        std::sort(expected.begin(), expected.end());
        std::sort(got.begin(), got.end());
        EXPECT_EQ(expected, got) << "row " << i;
        // A folder's contents are handed over before the folder itself.
        if (rows[i].depth >= 1) {
            auto child = std::find(log.paths.begin(), log.paths.end(), root + "\\sub1\\b.txt");
            auto parent = std::find(log.paths.begin(), log.paths.end(), root + "\\sub1");
            EXPECT_LT(child, parent) << "row " << i;
        }
    }

    // A non-zero answer ends the whole walk, subfolders included.
    for (size_t stop = 1; stop <= 3; stop++) {
        char folder[MAX_PATH];
        CopyText(folder, MAX_PATH, (root + "\\").c_str());
        WalkLog log{{}, {}, stop};
        EXPECT_EQ(0, WalkFolder(folder, RecordWalk, 2, &log)) << "stop " << stop;
        EXPECT_EQ(stop, log.paths.size()) << "stop " << stop;
    }

    char missing[MAX_PATH];
    CopyText(missing, MAX_PATH, (root + "\\nothing here").c_str());
    WalkLog none{{}, {}, 0};
    EXPECT_EQ(0, WalkFolder(missing, RecordWalk, 1, &none));
    EXPECT_TRUE(none.paths.empty());
    char empty[MAX_PATH] = "";
    EXPECT_EQ(0, WalkFolder(empty, RecordWalk, 1, &none));
    EXPECT_TRUE(none.paths.empty());
}

TEST_F(Files, WalkSystemFoldersVisitsTheSystemFoldersInWalkModeSeven)
{
    // Stopping at the first entry makes every folder of the list show once.
    WalkLog log{{}, {}, 1};
    giWalkMode = 0;
    WalkSystemFolders(RecordWalk, &log);
    ASSERT_GE(log.paths.size(), 3u);
    for (size_t i = 0; i < log.modes.size(); i++)
        EXPECT_EQ(WALK_SYSTEM, log.modes[i]) << "call " << i;
    EXPECT_EQ(0u, Upper(log.paths[0]).find("C:\\"));
    EXPECT_EQ(0u, Upper(log.paths[1]).find(Upper(WinDir()) + "\\"));
    EXPECT_EQ(0u, Upper(log.paths[2]).find(Upper(SysDir()) + "\\"));
    std::string etc = Upper(SysDir()) + "\\DRIVERS\\ETC\\";
    if (PathExists(SysDir() + "\\drivers\\etc\\hosts")) {
        bool seen = false;
        for (const std::string &p : log.paths)
            seen = seen || Upper(p).find(etc) == 0;
        EXPECT_TRUE(seen);
    }
}

// ---------------------------------------------------------------------------

SYSTEMTIME At(int hour, int minute)
{
    SYSTEMTIME t = {};
    t.wYear = 2015;
    t.wMonth = 3;
    t.wDay = 7;
    t.wDayOfWeek = 6;
    t.wHour = (WORD)hour;
    t.wMinute = (WORD)minute;
    t.wSecond = 42;
    return t;
}

std::string DateText(const SYSTEMTIME &t)
{
    char out[FILE_TIME_TEXT_MAX + kGuardLen];
    FillGuarded(out, sizeof(out));
    EXPECT_EQ(1, FormatDateLocal(&t, out));
    EXPECT_TRUE(GuardIntact(out, FILE_TIME_TEXT_MAX));
    return out;
}

TEST_F(Files, FormatDateLocalFollowsTheUsersPatterns)
{
    SaveValue(HKEY_CURRENT_USER, kInternational, "sShortDate");
    SaveValue(HKEY_CURRENT_USER, kInternational, "sTimeFormat");

    struct DateRow {
        const char *pattern, *expected;
    } dates[] = {
        {"M/d/yyyy", "03/07/2015 13:04"},
        {"M/d/yy", "03/07/2015 13:04"},
        {"MM/dd/yy", "03/07/2015 13:04"},
        {"MM/dd/yyyy", "03/07/2015 13:04"},
        {"yy/MM/dd", "2015/03/07 13:04"},
        {"yyyy-MM-dd", "2015-03-07 13:04"},
        {"dd-MMM-yy", "07-Mar-2015 13:04"},
        {"YYYY-mm-DD", "2015-03-07 13:04"},   // compared without regard to case
        {"d.M.yyyy", "03/07/2015 13:04"},     // unknown: the first pattern
    };
    RegPut(HKEY_CURRENT_USER, kInternational, "sTimeFormat", "HH:mm:ss");
    for (size_t i = 0; i < sizeof(dates) / sizeof(dates[0]); i++) {
        RegPut(HKEY_CURRENT_USER, kInternational, "sShortDate", dates[i].pattern);
        EXPECT_EQ(dates[i].expected, DateText(At(13, 4))) << "date row " << i << ": " << dates[i].pattern;
    }

    struct TimeRow {
        const char *pattern;
        int hour, minute;
        const char *expected;
    } times[] = {
        {"h:mm:ss tt", 0, 5, "2015-03-07 12:05 AM"},
        {"h:mm:ss tt", 9, 7, "2015-03-07 9:07 AM"},
        {"h:mm:ss tt", 11, 59, "2015-03-07 11:59 AM"},
        {"h:mm:ss tt", 12, 0, "2015-03-07 12:00 PM"},
        {"h:mm:ss tt", 23, 59, "2015-03-07 11:59 PM"},
        {"hh:mm:ss tt", 0, 5, "2015-03-07 12:05 AM"},
        {"hh:mm:ss tt", 9, 7, "2015-03-07 09:07 AM"},
        {"hh:mm:ss tt", 12, 0, "2015-03-07 12:00 PM"},
        {"hh:mm:ss tt", 23, 59, "2015-03-07 11:59 PM"},
        {"H:mm:ss", 0, 5, "2015-03-07 0:05"},
        {"H:mm:ss", 9, 7, "2015-03-07 9:07"},
        {"H:mm:ss", 12, 0, "2015-03-07 12:00"},
        {"H:mm:ss", 23, 59, "2015-03-07 23:59"},
        {"HH:mm:ss", 0, 5, "2015-03-07 00:05"},
        {"HH:mm:ss", 12, 0, "2015-03-07 12:00"},
        {"HH:mm:ss", 23, 59, "2015-03-07 23:59"},
        {"HH.mm", 23, 59, "2015-03-07 11:59 PM"},   // unknown: "h:mm:ss tt"
    };
    RegPut(HKEY_CURRENT_USER, kInternational, "sShortDate", "yyyy-MM-dd");
    for (size_t i = 0; i < sizeof(times) / sizeof(times[0]); i++) {
        RegPut(HKEY_CURRENT_USER, kInternational, "sTimeFormat", times[i].pattern);
        EXPECT_EQ(times[i].expected, DateText(At(times[i].hour, times[i].minute)))
            << "time row " << i << ": " << times[i].pattern;
    }

    // Values that do not fit stay inside 23 characters.
    RegPut(HKEY_CURRENT_USER, kInternational, "sShortDate", "dd-MMM-yy");
    RegPut(HKEY_CURRENT_USER, kInternational, "sTimeFormat", "hh:mm:ss tt");
    SYSTEMTIME odd = At(23, 59);
    odd.wYear = 65535;
    odd.wMonth = 13;
    odd.wDay = 65535;
    odd.wHour = 65535;
    std::string text = DateText(odd);
    EXPECT_LE(text.size(), (size_t)FILE_TIME_TEXT_MAX - 1);
    EXPECT_EQ(0u, text.find("65535--6553 "));
}

TEST_F(Files, FileTimesAndUnixTime)
{
    SaveValue(HKEY_CURRENT_USER, kInternational, "sShortDate");
    SaveValue(HKEY_CURRENT_USER, kInternational, "sTimeFormat");
    RegPut(HKEY_CURRENT_USER, kInternational, "sShortDate", "yyyy-MM-dd");
    RegPut(HKEY_CURRENT_USER, kInternational, "sTimeFormat", "HH:mm:ss");

    // 2015-03-07 10:20:30 UTC, set on a file of 5 bytes.
    SYSTEMTIME utc = {};
    utc.wYear = 2015;
    utc.wMonth = 3;
    utc.wDay = 7;
    utc.wHour = 10;
    utc.wMinute = 20;
    utc.wSecond = 30;
    FILETIME ft, localFt;
    ASSERT_TRUE(SystemTimeToFileTime(&utc, &ft));
    ASSERT_TRUE(FileTimeToLocalFileTime(&ft, &localFt));
    SYSTEMTIME local;
    ASSERT_TRUE(FileTimeToSystemTime(&localFt, &local));

    std::string path = MakeFile("times.txt", "12345");
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    ASSERT_TRUE(SetFileTime(h, &ft, &ft, &ft));
    CloseHandle(h);

    char expectedStamp[64];
    FormatText(expectedStamp, CAP(expectedStamp), "%04d/%02d/%02d %02d:%02d", local.wYear, local.wMonth,
             local.wDay, local.wHour, local.wMinute);
    char out[FILE_TIME_TEXT_MAX + kGuardLen];
    FillGuarded(out, sizeof(out));
    EXPECT_EQ(16, FormatFileTime(path.c_str(), out));
    EXPECT_STREQ(expectedStamp, out);
    EXPECT_TRUE(GuardIntact(out, FILE_TIME_TEXT_MAX));
    EXPECT_EQ(0, FormatFileTime((TempFolder() + "\\missing.txt").c_str(), out));
    EXPECT_STREQ("", out);

    char expectedDate[64];
    FormatText(expectedDate, CAP(expectedDate), "%04d-%02d-%02d %02d:%02d", local.wYear, local.wMonth,
             local.wDay, local.wHour, local.wMinute);
    char created[FILE_TIME_TEXT_MAX], modified[FILE_TIME_TEXT_MAX], accessed[FILE_TIME_TEXT_MAX],
        size[FILE_TIME_TEXT_MAX];
    EXPECT_EQ(1, GetMyFileTime(path.c_str(), created, modified, accessed, size));
    // Creation times are not kept by every file system under test; the write time is.
    EXPECT_NE('\0', created[0]);
    EXPECT_STREQ(expectedDate, modified);
    EXPECT_STREQ("5", size);
    EXPECT_NE('\0', accessed[0]);

    EnableTrace();
    std::string missing = TempFolder() + "\\missing.txt";
    EXPECT_EQ(0, GetMyFileTime(missing.c_str(), created, modified, accessed, size));
    EXPECT_STREQ("", created);
    EXPECT_STREQ("", size);
    EXPECT_TRUE(TraceHas("GetMyFileTime  CreateFile OPEN_EXITING ---: " + missing));

    // 1425723630 seconds after 1970 is the same instant as above.
    SYSTEMTIME fromUnix;
    UnixTimeToSystemTime(1425723630LL, &fromUnix);
    EXPECT_EQ(local.wYear, fromUnix.wYear);
    EXPECT_EQ(local.wMonth, fromUnix.wMonth);
    EXPECT_EQ(local.wDay, fromUnix.wDay);
    EXPECT_EQ(local.wHour, fromUnix.wHour);
    EXPECT_EQ(local.wMinute, fromUnix.wMinute);
    EXPECT_EQ(local.wSecond, fromUnix.wSecond);
}

// ---------------------------------------------------------------------------

std::string BlockText(HGLOBAL block, size_t bytes)
{
    const char *p = (const char *)GlobalLock(block);
    std::string s = p ? std::string(p, bytes) : std::string();
    GlobalUnlock(block);
    return s;
}

TEST_F(Files, ReadtheFileTurnsLineFeedsIntoCrLf)
{
    struct Row {
        std::string content;
        DWORD askSize;
        std::string text;   // the block's text up to its first NUL
        DWORD size;
    } rows[] = {
        // The copy holds as many characters as were read: each CR added costs one at the end.
        {"line1\nline2\n", 64, "line1\r\nline2", 11},
        {"no breaks", 64, "no breaks", 8},
        {"\n\n", 64, "\r\n", 1},
        {"abcdef", 3, "abc", 2},
        {"", 64, "", 0},
    };
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); i++) {
        std::string path = MakeFile("read" + std::to_string(i) + ".txt", rows[i].content);
        DWORD size = rows[i].askSize;
        HGLOBAL block = ReadtheFile(path.c_str(), &size);
        ASSERT_NE(nullptr, block) << "row " << i;
        EXPECT_EQ(rows[i].size, size) << "row " << i;
        EXPECT_GE(GlobalSize(block), (SIZE_T)rows[i].askSize + 32) << "row " << i;
        std::string whole = BlockText(block, rows[i].askSize + 32);
        EXPECT_EQ(rows[i].text, std::string(whole.c_str())) << "row " << i;
        EXPECT_EQ(std::string(whole.size() - rows[i].text.size(), '\0'), whole.substr(rows[i].text.size()))
            << "row " << i;
        GlobalFree(block);
    }

    EnableTrace();
    std::string missing = TempFolder() + "\\missing.txt";
    DWORD size = 64;
    EXPECT_EQ(nullptr, ReadtheFile(missing.c_str(), &size));
    EXPECT_TRUE(TraceHas("ReadtheFile CreateFile OPEN_EXISTING ---: " + missing));
}

TEST_F(Files, RemoveFilesAndFolders)
{
    std::string readOnly = MakeFile("read-only.txt");
    ASSERT_TRUE(SetFileAttributesA(readOnly.c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(1, fileRemoveFile(readOnly.c_str()));
    EXPECT_FALSE(PathExists(readOnly));

    EnableTrace();
    std::string missing = TempFolder() + "\\missing.txt";
    EXPECT_EQ(0, fileRemoveFile(missing.c_str()));
    EXPECT_TRUE(TraceHas("fileRemoveFile ---: " + missing));
    EXPECT_EQ(0, fileRemoveFile(""));

    std::string full = MakeFolder("full");
    WriteWholeFile(full + "\\inside.txt", "x");
    EXPECT_EQ(0, fileRemoveFolder(full.c_str()));
    EXPECT_TRUE(PathExists(full + "\\inside.txt"));
    EXPECT_TRUE(TraceHas("fileRemoveFolder ---: " + full));

    std::string empty = MakeFolder("empty");
    EXPECT_EQ(1, fileRemoveFolder(empty.c_str()));
    EXPECT_FALSE(PathExists(empty));
    EXPECT_TRUE(TraceHas("fileRemoveFolder --- SUCCESS: " + empty));
}

TEST_F(Files, TraceShellExecuteErrorWritesTheTableTexts)
{
    EnableTrace();
    struct Row {
        int code;
        const char *text;
    } rows[] = {
        {0, "The operating system is out of memory or resources."},
        {2, "The specified file was not found."},
        {3, "The specified path was not found."},
        {5, "The operating system denied access to the specified file."},
        {8, "There was not enough memory to complete the operation."},
        {11, "The .exe file is invalid (non-Win32 .exe or error in .exe image)."},
        {26, "A sharing violation occurred."},
        {27, "The file name association is incomplete or invalid."},
        {28, "The DDE transaction could not be completed because the request timed out."},
        {29, "The DDE transaction could not be completed because other DDE transactions were being processed."},
        {30, "The DDE transaction could not be completed because other DDE transactions were being processed."},
        {31, "There is no application associated with the given file name extension. This error will also be "
             "returned if you attempt to print a file that is not printable."},
        {32, "The specified DLL was not found."},
    };
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); i++) {
        std::string tag = "ShellTest" + std::to_string(i);
        EXPECT_EQ(1, TraceShellExecuteError(0, rows[i].code, tag.c_str())) << "row " << i;
        EXPECT_TRUE(TraceHas(tag + ": " + std::to_string(rows[i].code) + "  " + rows[i].text)) << "row " << i;
    }

    struct ModeRow {
        int mode, code;
        DWORD lastError;
        std::string message;
    } modes[] = {
        {0, 99, ERROR_FILE_NOT_FOUND, "2  " + SystemText(ERROR_FILE_NOT_FOUND)},
        {1, 2, ERROR_ACCESS_DENIED, "5  " + SystemText(ERROR_ACCESS_DENIED)},
        {2, 2, ERROR_ACCESS_DENIED, "DefWindPos Error  " + SystemText(ERROR_ACCESS_DENIED)},
        {7, 2, ERROR_FILE_NOT_FOUND, "Default Error  " + SystemText(ERROR_FILE_NOT_FOUND)},
    };
    for (size_t i = 0; i < sizeof(modes) / sizeof(modes[0]); i++) {
        std::string tag = "ShellMode" + std::to_string(i);
        SetLastError(modes[i].lastError);
        EXPECT_EQ(1, TraceShellExecuteError(modes[i].mode, modes[i].code, tag.c_str())) << "mode row " << i;
        EXPECT_TRUE(TraceHas(tag + ": " + modes[i].message)) << "mode row " << i;
    }
}

// The shell answers a failed properties request with its own error box (the
// request does not ask for silence); this presses its OK button like a user.
struct DialogCloser {
    volatile LONG stop;
    std::vector<std::string> captions;
};

BOOL CALLBACK CloseOwnDialog(HWND w, LPARAM arg)
{
    DialogCloser *closer = (DialogCloser *)arg;
    DWORD pid = 0;
    GetWindowThreadProcessId(w, &pid);
    char cls[64] = "";
    GetClassNameA(w, cls, sizeof(cls));
    if (pid == GetCurrentProcessId() && IsWindowVisible(w) && strcmp(cls, "#32770") == 0) {
        char caption[256] = "";
        GetWindowTextA(w, caption, sizeof(caption));
        closer->captions.push_back(caption);
        PostMessageA(w, WM_COMMAND, IDOK, 0);
    }
    return TRUE;
}

DWORD WINAPI DialogCloserThread(LPVOID arg)
{
    DialogCloser *closer = (DialogCloser *)arg;
    while (!closer->stop) {
        EnumWindows(CloseOwnDialog, (LPARAM)closer);
        Sleep(100);
    }
    return 0;
}

TEST_F(Files, ShellOperationsReportFailureForMissingFiles)
{
    EnableTrace();
    std::string missing = TempFolder() + "\\no such program.exe";
    DialogCloser closer{0, {}};
    HANDLE thread = CreateThread(NULL, 0, DialogCloserThread, &closer, 0, NULL);
    int shown = fileShellExecute(NULL, missing.c_str());
    InterlockedExchange(&closer.stop, 1);
    WaitForSingleObject(thread, 5000);
    CloseHandle(thread);
    EXPECT_EQ(0, shown);
    EXPECT_TRUE(TraceHas("fileShellExecute " + missing + ": "));
    EXPECT_EQ(0, OpenFolderOf(NULL, ""));
    EXPECT_EQ(0, OpenFolderOf(NULL, "no drive and no folder"));
}

TEST_F(Files, RemoveOldRegPointerDeletesOnlyValuesWhoseProgramIsGone)
{
    std::string kept = MakeFile("kept tool.exe", "MZ");
    std::string notepad = IsFile(WinDir() + "\\notepad.exe") ? WinDir() + "\\notepad.exe"
                                                             : SysDir() + "\\notepad.exe";
    struct Row {
        std::string name;
        bool stays;
    } rows[] = {
        {"C:\\no\\such\\gone.exe", false},
        {"\"C:\\no\\such\\quoted gone.exe\" /s", false},
        {"C:\\no\\such\\Brackmoor Gone.exe", false},   // no title swap may hide the real name
        {"nosuchprogram_brackmoor.exe", false},
        {notepad, true},
        {"\"" + kept + "\" -x", true},
        {"notepad.exe", true},
    };
    for (const Row &row : rows)
        RegPut(HKEY_CURRENT_USER, kBaselineRun, row.name.c_str(), "11");
    // A neighbouring key with a missing program is not touched.
    const char *other = "Software\\Dunmere Works\\Brackmoor\\Hidden";
    RegPut(HKEY_CURRENT_USER, other, "C:\\no\\such\\gone.exe", "370");
    AddRunStruct("left over", "C:\\x\\left.exe", "", "C:\\x\\left.exe", 11, 0);

    EnableTrace();
    fileRemoveOldRegPointer(kBaselineRun);

    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); i++)
        EXPECT_EQ(rows[i].stays, RegHasValue(HKEY_CURRENT_USER, kBaselineRun, rows[i].name.c_str()))
            << "row " << i << ": " << rows[i].name;
    EXPECT_TRUE(RegHasValue(HKEY_CURRENT_USER, other, "C:\\no\\such\\gone.exe"));
    EXPECT_EQ(0, RunList.count);
    EXPECT_TRUE(TraceHas("fileRemoveOldRegPointer File does NOT Exist: C:\\NO\\SUCH\\GONE.EXE"));
    EXPECT_TRUE(TraceHas("fileRemoveOldRegPointer DeleteRegValue: C:\\no\\such\\Brackmoor Gone.exe"));

    // A missing key is simply nothing to do.
    fileRemoveOldRegPointer("Software\\Dunmere Works\\Brackmoor\\NoSuchKey");
    EXPECT_FALSE(RegHasKey(HKEY_CURRENT_USER, "Software\\Dunmere Works\\Brackmoor\\NoSuchKey"));
}

// The handle a new object gets: the lowest free slot, so it moves only when a
// handle was left open.
uintptr_t NextHandleSlot()
{
    HANDLE h = CreateEventA(NULL, FALSE, FALSE, NULL);
    CloseHandle(h);
    return (uintptr_t)h;
}

TEST_F(Files, RepeatedCallsLeaveNoHandleOpen)
{
    std::string file = MakeFile("handles.txt", "a\nb\n");
    std::string root = MakeFolder("handle walk");
    WriteWholeFile(root + "\\x.txt", "x");
    RegPut(HKEY_CURRENT_USER, kBaselineRun, "C:\\no\\such\\gone.exe", "11");
    RegPut(HKEY_CURRENT_USER, kBaselineRun, "notepad.exe", "11");
    CreateDirectoryA(DataFolder().c_str(), NULL);

    struct Step {
        const char *what;
        void (*run)(const std::string &file, const std::string &root);
    } steps[] = {
        {"FileExists", [](const std::string &f, const std::string &) {
             char buf[MAX_PATH];
             for (const char *p : {f.c_str(), "notepad.exe", "C:\\no\\such.exe"}) {
                 CopyText(buf, MAX_PATH, p);
                 FileExists(buf);
             }
         }},
        {"FileExists 32-bit", [](const std::string &f, const std::string &) {
             int saved = Is64BitWindows;
             Is64BitWindows = 0;
             char buf[MAX_PATH];
             for (const char *p : {f.c_str(), "notepad.exe", "C:\\no\\such.exe"}) {
                 CopyText(buf, MAX_PATH, p);
                 FileExists(buf);
             }
             Is64BitWindows = saved;
         }},
        {"ExtractProgramPath", [](const std::string &, const std::string &) {
             char out[MAX_PATH];
             ExtractProgramPath("%ProgramFiles(x86)%\\Nobody\\x.exe /q", out);
         }},
        {"GetMyFileTime", [](const std::string &f, const std::string &) {
             char a[FILE_TIME_TEXT_MAX], b[FILE_TIME_TEXT_MAX], c[FILE_TIME_TEXT_MAX], d[FILE_TIME_TEXT_MAX];
             GetMyFileTime(f.c_str(), a, b, c, d);
             GetMyFileTime("C:\\no\\such.txt", a, b, c, d);
             FormatFileTime(f.c_str(), a);
         }},
        {"ReadtheFile", [](const std::string &f, const std::string &) {
             DWORD size = 16;
             HGLOBAL block = ReadtheFile(f.c_str(), &size);
             if (block)
                 GlobalFree(block);
         }},
        {"WalkFolder", [](const std::string &, const std::string &r) {
             char folder[MAX_PATH];
             CopyText(folder, MAX_PATH, r.c_str());
             WalkFolder(folder, [](const char *, const WIN32_FIND_DATAA *, void *) { return 0; }, 1, NULL);
             CopyText(folder, MAX_PATH, r.c_str());
             WalkFolder(folder, [](const char *, const WIN32_FIND_DATAA *, void *) { return 1; }, 1, NULL);
         }},
        {"GetMyFolder", [](const std::string &, const std::string &) {
             char out[MAX_PATH];
             GetMyFolder(out);
             GetIEPath(out);
             GetDefaultBrowserKind();
         }},
        {"fileRemoveOldRegPointer", [](const std::string &, const std::string &) {
             fileRemoveOldRegPointer(kBaselineRun);
             RegPut(HKEY_CURRENT_USER, kBaselineRun, "C:\\no\\such\\gone.exe", "11");
         }},
    };
    for (size_t i = 0; i < sizeof(steps) / sizeof(steps[0]); i++) {
        steps[i].run(file, root);   // first use may load libraries for good
        uintptr_t before = NextHandleSlot();
        for (int k = 0; k < 20; k++)
            steps[i].run(file, root);
        EXPECT_EQ(before, NextHandleSlot()) << "row " << i << ": " << steps[i].what;
    }
}

}   // namespace
