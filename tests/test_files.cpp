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
#include "common/runlist.h"
#include "support/system_state.h"
#include "support/test_env.h"

namespace {

const char kCurrentVersion[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
const char kInternational[] = "Control Panel\\International";
const char kBaselineRun[] = "Software\\Dunmere Works\\Brackmoor\\Run";

class Files : public BrackmoorTest {
protected:
    KeptValues kept;

    // Keeps a system value as it is now; TearDown puts it back.
    void Save(HKEY root, const char *path, const char *name, REGSAM view = 0) { kept.Keep(root, path, name, view); }

    void TearDown() override
    {
        kept.Restore();
        BrackmoorTest::TearDown();
    }

    std::string MakeFile(const std::string &name, const std::string &text = "x")
    {
        std::string path = TempFolder() + "\\" + name;
        WriteWholeFile(path, text);
        return path;
    }
};

std::string Extract(const char *command)
{
    char out[MAX_PATH + kGuardLen];
    FillGuarded(out, sizeof(out));
    int len = ExtractProgramPath(command, out);
    EXPECT_TRUE(GuardIntact(out, MAX_PATH)) << (command ? command : "NULL");
    EXPECT_EQ((int)strlen(out), len) << (command ? command : "NULL");
    return out;
}

TEST_F(Files, ExtractProgramPathTurnsCommandLinesIntoUpperCasePaths)
{
    Save(HKEY_LOCAL_MACHINE, kCurrentVersion, "ProgramFilesDir", KEY_WOW64_64KEY);
    Save(HKEY_LOCAL_MACHINE, kCurrentVersion, "ProgramFilesDir (x86)", KEY_WOW64_64KEY);
    RegPut(HKEY_LOCAL_MACHINE, kCurrentVersion, "ProgramFilesDir", "D:\\TestPF", KEY_WOW64_64KEY);
    RegPut(HKEY_LOCAL_MACHINE, kCurrentVersion, "ProgramFilesDir (x86)", "E:\\Pf86", KEY_WOW64_64KEY);
    const std::string win = Upper(WindowsFolder());
    const std::string rows[][2] = {
        {"\"C:\\Program Files\\Foo\\foo.exe\" /background", "C:\\PROGRAM FILES\\FOO\\FOO.EXE"},
        {"c:\\lib\\helper.dll,Start", "C:\\LIB\\HELPER.DLL"},
        {"%SystemRoot%\\system32\\shell32.dll,Control_RunDLL", win + "\\SYSTEM32\\SHELL32.DLL"},
        {"%windir%\\notepad.exe", win + "\\NOTEPAD.EXE"},
        // The forms services and Winlogon use: one separator whatever the token's form.
        {"\\SystemRoot\\System32\\drivers\\x.dll", win + "\\SYSTEM32\\DRIVERS\\X.DLL"},
        {"SystemRoot\\System32\\x.dll", win + "\\SYSTEM32\\X.DLL"},
        {"%programfiles%\\Foo\\bar.exe -s", "D:\\TESTPF\\FOO\\BAR.EXE"},
        {"%ProgramFiles(x86)%\\Foo\\bar.exe", "E:\\PF86\\FOO\\BAR.EXE"},
        {"rundll32.exe shell32.dll,Control_RunDLL", "RUNDLL32.EXE"},
        // A folder token in the arguments names another file than the program.
        {"C:\\Windows\\System32\\rundll32.exe %SystemRoot%\\x.dll,Entry", "C:\\WINDOWS\\SYSTEM32\\RUNDLL32.EXE"},
        {"C:\\data\\report.xls other", "C:\\DATA\\REPORT.XLS"},   // any ".?X" or ".?L" ends the path
        {"C:\\drv\\x.sys /q", "C:\\DRV\\X.SYS /Q"},                // ".sys" does not
        {"\"cmd\" /c D:\\run\\go.exe x", "D:\\RUN\\GO.EXE"},       // the last drive starts the path
        {"", ""},
    };
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); i++)
        EXPECT_EQ(rows[i][1], Extract(rows[i][0].c_str())) << "row " << i << ": " << rows[i][0];

    // Without the values, the usual folders.
    RegRemoveValue(HKEY_LOCAL_MACHINE, kCurrentVersion, "ProgramFilesDir", KEY_WOW64_64KEY);
    RegRemoveValue(HKEY_LOCAL_MACHINE, kCurrentVersion, "ProgramFilesDir (x86)", KEY_WOW64_64KEY);
    EXPECT_EQ("C:\\PROGRAM FILES\\FOO\\BAR.EXE", Extract("%ProgramFiles%\\Foo\\bar.exe"));
    EXPECT_EQ("C:\\PROGRAM FILES (X86)\\FOO\\BAR.EXE", Extract("%ProgramFiles(x86)%\\Foo\\bar.exe"));

    EXPECT_EQ("C:\\" + std::string(MAX_PATH - 4, 'A'), Extract(("C:\\" + std::string(600, 'a')).c_str()));
    EXPECT_EQ("", Extract(NULL));
}

TEST_F(Files, ExtractProgramPathRetriesTheSixtyFourBitProgramFolder)
{
    ASSERT_TRUE(Is64BitWindows);
    const std::string vendor = "C:\\Program Files\\BrackmoorTestVendor";
    WriteWholeFile(vendor + "\\tool.exe", "MZ");
    std::string found = Extract("\"C:\\Program Files (x86)\\BrackmoorTestVendor\\tool.exe\" /q");
    std::string missing = Extract("C:\\Program Files (x86)\\BrackmoorTestVendor\\other.exe");
    RemoveTree(vendor);
    EXPECT_EQ("C:\\PROGRAM FILES\\BRACKMOORTESTVENDOR\\TOOL.EXE", found);
    EXPECT_EQ("C:\\PROGRAM FILES (X86)\\BRACKMOORTESTVENDOR\\OTHER.EXE", missing);
}

TEST_F(Files, RundllTargetGivesWhatFollowsRundll32)
{
    struct Row { const char *command; size_t cap; int result; const char *expected; } rows[] = {
        {"C:\\WINDOWS\\system32\\RUNDLL32.EXE C:\\x\\y.dll,Entry", MAX_PATH, 1, "C:\\x\\y.dll,Entry"},
        {"RunDll32.exe advpack.dll,DelNodeRunDLL32 C:\\t", MAX_PATH, 1, "advpack.dll,DelNodeRunDLL32 C:\\t"},
        {"rundll32.exe", MAX_PATH, 1, ""},
        {"rundll32.exe shell32.dll,Control_RunDLL", 8, 1, "shell32"},
        {"rundll.exe x.dll", MAX_PATH, 0, "rundll.exe x.dll"},
        {"", MAX_PATH, 0, ""},
    };
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); i++) {
        char out[MAX_PATH + kGuardLen];
        FillGuarded(out, sizeof(out));
        EXPECT_EQ(rows[i].result, RundllTarget(rows[i].command, out, rows[i].cap)) << "row " << i;
        EXPECT_STREQ(rows[i].expected, out) << "row " << i;
        EXPECT_TRUE(GuardIntact(out, rows[i].cap)) << "row " << i;
    }
}

TEST_F(Files, FileExistsFindsFilesAndBareSystemNames)
{
    const std::string temp = MakeFile("present file with a rather long name.txt");
    // kernel32.dll lies in the System folder only, not in the Windows folder.
    // after: 64-bit leaves the caller's buffer alone; 32-bit writes the full path back.
    struct Row { int is64; std::string path; int result; std::string after; } rows[] = {
        {1, "kernel32.dll", 1, "kernel32.dll"},
        {1, temp, 1, temp},
        {1, "C:\\no\\such\\folder\\missing.exe", 0, "C:\\no\\such\\folder\\missing.exe"},
        {1, "", 0, ""},
        {0, "kernel32.dll", 1, SystemFolder() + "\\kernel32.dll"},
        {0, temp, 1, temp},
        {0, "nosuchprogram_brackmoor.exe", 0, "nosuchprogram_brackmoor.exe"},
    };
    const int saved64 = Is64BitWindows;
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); i++) {
        char buf[MAX_PATH + kGuardLen];
        FillGuarded(buf, sizeof(buf));
        CopyText(buf, MAX_PATH, rows[i].path.c_str());
        Is64BitWindows = rows[i].is64;
        int result = FileExists(buf);
        Is64BitWindows = saved64;
        EXPECT_EQ(rows[i].result, result) << "row " << i << ": " << rows[i].path;
        EXPECT_EQ(Upper(rows[i].after), Upper(buf)) << "row " << i;
        EXPECT_TRUE(GuardIntact(buf, MAX_PATH)) << "row " << i;
    }
    // A path that fills its buffer without a terminator is not looked at.
    char full[MAX_PATH + kGuardLen];
    memset(full, 'a', sizeof(full));
    EXPECT_EQ(0, FileExists(full));

    // Only paths longer than a bare name are traced, and only while tracing.
    auto probe = [&](const char *path) { CopyText(full, MAX_PATH, path), FileExists(full); };
    const char *longMissing = "C:\\no\\such\\folder\\with\\a\\long\\name\\missing.exe";
    probe(longMissing);
    EXPECT_TRUE(TraceEntries().empty());
    TraceToTempFile();
    probe("short\\missing.exe");
    EXPECT_FALSE(TraceHas("Original Filename ="));
    probe(longMissing);
    EXPECT_TRUE(TraceHas(std::string("Original Filename =: ") + longMissing));
}

TEST_F(Files, PathPartsVendorsAndPlausibleNames)
{
    const std::string folders[][2] = {
        {"C:\\x.exe", "C:\\"}, {"C:\\a\\b\\c.exe", "C:\\a\\b"}, {"\\\\server\\share\\tool.exe", "\\\\server\\share"},
        {"notepad.exe", WindowsFolder()}, {"kernel32.dll", SystemFolder()}, {"nosuchprogram_brackmoor.exe", ""},
        {"", ""},
    };
    char out[MAX_PATH + kGuardLen];
    for (size_t i = 0; i < sizeof(folders) / sizeof(folders[0]); i++) {
        FillGuarded(out, sizeof(out));
        EXPECT_EQ((int)folders[i][1].size(), GetFolderOfProgram(folders[i][0].c_str(), out)) << "row " << i;
        EXPECT_EQ(folders[i][1], std::string(out)) << "row " << i;
        EXPECT_TRUE(GuardIntact(out, MAX_PATH)) << "row " << i;
    }
    EXPECT_EQ(5, FileNameOf("C:\\a\\b.exe", out));
    EXPECT_STREQ("b.exe", out);
    EXPECT_EQ(0, FileNameOf("b.exe", out));
    EXPECT_STREQ("", out);
    EXPECT_EQ(15, StripQuotes("\"C:\\a b\\c.exe\" -x", out));
    EXPECT_STREQ("C:\\a b\\c.exe -x", out);
    FillGuarded(out, sizeof(out));
    EXPECT_EQ(MAX_PATH - 1, StripQuotes(("\"" + std::string(600, 'q')).c_str(), out));
    EXPECT_EQ(std::string(MAX_PATH - 1, 'q'), std::string(out));
    EXPECT_TRUE(GuardIntact(out, MAX_PATH));
    // A missing file has no long form: the input comes back unchanged.
    EXPECT_EQ(0, GetLongPath("C:\\NOSUCH~1\\MISSIN~1.EXE", out));
    EXPECT_STREQ("C:\\NOSUCH~1\\MISSIN~1.EXE", out);

    std::string pf = RegText(HKEY_LOCAL_MACHINE, kCurrentVersion, "ProgramFilesDir", KEY_WOW64_64KEY);
    ASSERT_FALSE(pf.empty());
    const std::string vendors[][2] = {
        {pf + "\\Acme\\tool.exe", "Acme"}, {Upper(pf) + "\\Acme Corp\\bin\\tool.exe", "Acme Corp"},
        {pf + "\\tool.exe", ""}, {pf + "Extra\\Acme\\x.exe", ""},
    };
    for (size_t i = 0; i < 4; i++) {
        int end = vendors[i][1].empty() ? 0 : (int)(pf.size() + 1 + vendors[i][1].size());
        EXPECT_EQ(end, GetProgramFilesVendor(vendors[i][0].c_str(), out)) << "vendor row " << i;
        EXPECT_EQ(vendors[i][1], std::string(out)) << "vendor row " << i;
    }
    const std::pair<std::string, int> names[] = {
        {"a.txt", 1}, {"a.tx", 0}, {"abcdefgh", 0}, {"a b c d e.txt", 1}, {"a b c d e f.txt", 0},
        {std::string(255, 'n') + ".exe", 1}, {std::string(256, 'n') + ".exe", 0},
    };
    for (size_t i = 0; i < sizeof(names) / sizeof(names[0]); i++)
        EXPECT_EQ(names[i].second, IsPlausibleFileName(names[i].first.c_str())) << "name row " << i;
}

TEST_F(Files, EncodeForQueryNeverWritesHalfAnEscape)
{
    struct Row { const char *text; size_t cap; const char *expected; int result; } rows[] = {
        {"My Program & Co", 64, "My%20Program%20%26%20Co", 22},
        {"#%+=;?\\\"<>", 64, "%23%25%2B%3D%3B%3F%5C%22%3C%3E", 29},
        {"\xE9\x80\xFF\x01\t-._~!$'()*,:@/", 64, "%E9%80%FF%01%09-._~!$'()*,:@/", 28},
        {"a b", 4, "a", 0},
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
}

TEST_F(Files, DataFolderIsCreatedOrFallsBackToTheProgramFolder)
{
    char out[MAX_PATH + kGuardLen];
    ASSERT_FALSE(PathExists(DataFolder()));
    for (int call = 0; call < 2; call++) {   // the second call meets the folder already there
        EXPECT_GT(GetMyFolder(out), 0) << "call " << call;
        EXPECT_EQ(DataFolder(), std::string(out)) << "call " << call;
    }
    EXPECT_TRUE(PathExists(DataFolder()));
    const char *shell = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
    Save(HKEY_CURRENT_USER, shell, "AppData");
    RegPut(HKEY_CURRENT_USER, shell, "AppData", "Q:\\no\\such\\drive");
    FillGuarded(out, sizeof(out));
    EXPECT_EQ((int)BinFolder().size(), GetMyFolder(out));
    EXPECT_EQ(BinFolder(), std::string(out));
    EXPECT_TRUE(GuardIntact(out, MAX_PATH));
}

struct WalkLog {
    std::vector<std::string> paths;
    size_t stopAt;   // answer non-zero on this call (1-based); 0 never
};

int RecordWalk(const char *path, const WIN32_FIND_DATAA *found, void *arg)
{
    WalkLog *log = (WalkLog *)arg;
    EXPECT_NE(nullptr, found);
    log->paths.push_back(path);
    return log->stopAt != 0 && log->paths.size() >= log->stopAt;
}

TEST_F(Files, WalkFolderHonoursDepthDotEntriesAndStop)
{
    const std::string root = TempFolder() + "\\walk";
    for (const char *folder : {"", "\\sub1", "\\sub1\\deep", "\\sub2", "\\.dotted"})
        CreateDirectoryA((root + folder).c_str(), NULL);
    for (const char *file : {"\\a.txt", "\\sub1\\b.txt", "\\sub1\\deep\\c.txt", "\\.dotted\\x.txt"})
        WriteWholeFile(root + file, "x");

    struct Row { int depth; std::vector<std::string> expected; } rows[] = {
        {0, {"a.txt", "sub1", "sub2", ".dotted"}},
        {1, {"a.txt", "sub1", "sub1\\b.txt", "sub1\\deep", "sub2", ".dotted"}},
        {2, {"a.txt", "sub1", "sub1\\b.txt", "sub1\\deep", "sub1\\deep\\c.txt", "sub2", ".dotted"}},
    };
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); i++) {
        char folder[MAX_PATH + kGuardLen];
        FillGuarded(folder, sizeof(folder));
        CopyText(folder, MAX_PATH, root.c_str());
        WalkLog log{{}, 0};
        EXPECT_EQ(0, WalkFolder(folder, RecordWalk, rows[i].depth, &log)) << "row " << i;
        EXPECT_EQ(root + "\\", std::string(folder)) << "row " << i;   // the caller's folder gets its "\"
        EXPECT_TRUE(GuardIntact(folder, MAX_PATH)) << "row " << i;
        std::vector<std::string> expected, got = log.paths;
        for (const std::string &rel : rows[i].expected)
            expected.push_back(root + "\\" + rel);
        std::sort(expected.begin(), expected.end());
        std::sort(got.begin(), got.end());
        EXPECT_EQ(expected, got) << "row " << i;
        // A folder's contents are handed over before the folder itself.
        auto child = std::find(log.paths.begin(), log.paths.end(), root + "\\sub1\\b.txt");
        EXPECT_TRUE(rows[i].depth == 0 || child < std::find(log.paths.begin(), log.paths.end(), root + "\\sub1"))
            << "row " << i;
    }

    // A non-zero answer ends the whole walk, subfolders included.
    for (size_t stop = 1; stop <= 3; stop++) {
        char folder[MAX_PATH];
        CopyText(folder, MAX_PATH, (root + "\\").c_str());
        WalkLog log{{}, stop};
        WalkFolder(folder, RecordWalk, 2, &log);
        EXPECT_EQ(stop, log.paths.size()) << "stop " << stop;
    }
    // An empty folder name is not the root of the current drive.
    char empty[MAX_PATH] = "";
    WalkLog none{{}, 0};
    EXPECT_EQ(0, WalkFolder(empty, RecordWalk, 1, &none));
    EXPECT_TRUE(none.paths.empty());
}

TEST_F(Files, FormatDateLocalFollowsTheUsersPatterns)
{
    Save(HKEY_CURRENT_USER, kInternational, "sShortDate");
    Save(HKEY_CURRENT_USER, kInternational, "sTimeFormat");
    struct Row { const char *date, *time; int hour, minute; const char *expected; } rows[] = {
        {"M/d/yyyy", "HH:mm:ss", 13, 4, "03/07/2015 13:04"},
        {"M/d/yy", "HH:mm:ss", 0, 5, "03/07/2015 00:05"},
        {"MM/dd/yy", "H:mm:ss", 0, 5, "03/07/2015 0:05"},
        {"MM/dd/yyyy", "H:mm:ss", 23, 59, "03/07/2015 23:59"},
        {"yy/MM/dd", "h:mm:ss tt", 0, 5, "2015/03/07 12:05 AM"},
        {"yyyy-MM-dd", "h:mm:ss tt", 12, 0, "2015-03-07 12:00 PM"},
        {"dd-MMM-yy", "h:mm:ss tt", 9, 7, "07-Mar-2015 9:07 AM"},
        {"YYYY-mm-DD", "hh:mm:ss tt", 0, 5, "2015-03-07 12:05 AM"},   // compared without regard to case
        {"yyyy-MM-dd", "hh:mm:ss tt", 12, 0, "2015-03-07 12:00 PM"},
        {"yyyy-MM-dd", "hh:mm:ss tt", 9, 7, "2015-03-07 09:07 AM"},
        {"yyyy-MM-dd", "hh:mm:ss tt", 23, 59, "2015-03-07 11:59 PM"},
        {"d.M.yyyy", "HH.mm", 23, 59, "03/07/2015 11:59 PM"},        // unknown: the first of each
    };
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); i++) {
        RegPut(HKEY_CURRENT_USER, kInternational, "sShortDate", rows[i].date);
        RegPut(HKEY_CURRENT_USER, kInternational, "sTimeFormat", rows[i].time);
        SYSTEMTIME t = {2015, 3, 6, 7, (WORD)rows[i].hour, (WORD)rows[i].minute, 42, 0};
        char out[FILE_TIME_TEXT_MAX + kGuardLen];
        FillGuarded(out, sizeof(out));
        EXPECT_EQ(1, FormatDateLocal(&t, out)) << "row " << i;
        EXPECT_STREQ(rows[i].expected, out) << "row " << i << ": " << rows[i].date << " " << rows[i].time;
        EXPECT_TRUE(GuardIntact(out, FILE_TIME_TEXT_MAX)) << "row " << i;
    }

    // Values that do not fit stay inside 23 characters.
    RegPut(HKEY_CURRENT_USER, kInternational, "sShortDate", "dd-MMM-yy");
    SYSTEMTIME odd = {65535, 13, 6, 65535, 65535, 59, 0, 0};
    char out[FILE_TIME_TEXT_MAX + kGuardLen];
    FillGuarded(out, sizeof(out));
    EXPECT_EQ(1, FormatDateLocal(&odd, out));
    EXPECT_EQ(0u, std::string(out).find("65535--6553 "));
    EXPECT_TRUE(GuardIntact(out, FILE_TIME_TEXT_MAX));
}

TEST_F(Files, FileTimesAndUnixTime)
{
    Save(HKEY_CURRENT_USER, kInternational, "sShortDate");
    Save(HKEY_CURRENT_USER, kInternational, "sTimeFormat");
    RegPut(HKEY_CURRENT_USER, kInternational, "sShortDate", "yyyy-MM-dd");
    RegPut(HKEY_CURRENT_USER, kInternational, "sTimeFormat", "HH:mm:ss");
    // 2015-03-07 10:20:30 UTC, set on a file of 5 bytes; 1425723630 in Unix seconds.
    SYSTEMTIME utc = {2015, 3, 6, 7, 10, 20, 30, 0}, local, fromUnix;
    FILETIME ft, localFt;
    ASSERT_TRUE(SystemTimeToFileTime(&utc, &ft) && FileTimeToLocalFileTime(&ft, &localFt) &&
                FileTimeToSystemTime(&localFt, &local));
    const std::string path = MakeFile("times.txt", "12345");
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_TRUE(SetFileTime(h, &ft, &ft, &ft));
    CloseHandle(h);

    char date[64], out[4][FILE_TIME_TEXT_MAX];
    FormatText(date, CAP(date), "%04d-%02d-%02d %02d:%02d", local.wYear, local.wMonth, local.wDay, local.wHour,
               local.wMinute);
    EXPECT_EQ(1, GetMyFileTime(path.c_str(), out[0], out[1], out[2], out[3]));
    EXPECT_STREQ(date, out[1]);   // not every file system under test keeps the creation time
    EXPECT_STREQ("5", out[3]);
    EXPECT_NE('\0', out[0][0]);
    EXPECT_NE('\0', out[2][0]);
    TraceToTempFile();
    const std::string missing = TempFolder() + "\\missing.txt";
    EXPECT_EQ(0, GetMyFileTime(missing.c_str(), out[0], out[1], out[2], out[3]));
    EXPECT_STREQ("", out[1]);
    EXPECT_TRUE(TraceHas("GetMyFileTime  CreateFile OPEN_EXITING ---: " + missing));

    UnixTimeToSystemTime(1425723630LL, &fromUnix);
    EXPECT_EQ(0, memcmp(&local, &fromUnix, sizeof(local))) << fromUnix.wHour << ":" << fromUnix.wMinute;
}

TEST_F(Files, ReadtheFileTurnsLineFeedsIntoCrLf)
{
    // text: the block's text up to its first NUL.
    struct Row { std::string content; DWORD askSize; std::string text; DWORD size; } rows[] = {
        // The copy holds as many characters as were read: each CR added costs one at the end.
        {"line1\nline2\n", 64, "line1\r\nline2", 11},
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
        ASSERT_GE(GlobalSize(block), (SIZE_T)rows[i].askSize + 32) << "row " << i;
        std::string whole((const char *)GlobalLock(block), rows[i].askSize + 32);
        GlobalUnlock(block);
        GlobalFree(block);
        EXPECT_EQ(rows[i].text, std::string(whole.c_str())) << "row " << i;
        EXPECT_EQ(std::string(whole.size() - rows[i].text.size(), '\0'), whole.substr(rows[i].text.size()))
            << "row " << i;
    }
    TraceToTempFile();
    const std::string missing = TempFolder() + "\\missing.txt";
    DWORD size = 64;
    EXPECT_EQ(nullptr, ReadtheFile(missing.c_str(), &size));
    EXPECT_TRUE(TraceHas("ReadtheFile CreateFile OPEN_EXISTING ---: " + missing));
}

TEST_F(Files, RemoveFileTakesReadOnlyFiles)
{
    const std::string readOnly = MakeFile("read-only.txt");
    ASSERT_TRUE(SetFileAttributesA(readOnly.c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(1, fileRemoveFile(readOnly.c_str()));
    EXPECT_FALSE(PathExists(readOnly));
    TraceToTempFile();
    EXPECT_EQ(0, fileRemoveFile(readOnly.c_str()));
    EXPECT_TRUE(TraceHas("fileRemoveFile ---: " + readOnly));
}

TEST_F(Files, TraceShellExecuteErrorNamesTheShellsOrTheSystemsText)
{
    TraceToTempFile();
    const struct { int mode, code; DWORD lastError; const char *message; } rows[] = {
        {0, 2, ERROR_ACCESS_DENIED, "2  The specified file was not found."},
        {0, 99, ERROR_FILE_NOT_FOUND, "2  "},   // not the shell's: the last error and its text
        {1, 2, ERROR_ACCESS_DENIED, "5  "},
        {2, 2, ERROR_ACCESS_DENIED, "DefWindPos Error  "},
        {7, 2, ERROR_FILE_NOT_FOUND, "Default Error  "},
    };
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); i++) {
        std::string tag = "Shell" + std::to_string(i);
        SetLastError(rows[i].lastError);
        EXPECT_EQ(1, TraceShellExecuteError(rows[i].mode, rows[i].code, tag.c_str())) << "row " << i;
        EXPECT_TRUE(TraceHas(tag + ": " + rows[i].message)) << "row " << i;
    }
}

TEST_F(Files, RemoveOldRegPointerDeletesOnlyValuesWhoseProgramIsGone)
{
    const std::string kept = MakeFile("kept tool.exe", "MZ");
    struct Row { std::string name; bool stays; } rows[] = {
        {"\"C:\\no\\such\\quoted gone.exe\" /s", false},
        {"C:\\no\\such\\Brackmoor Gone.exe", false},   // no title swap may hide the real name
        {"nosuchprogram_brackmoor.exe", false},
        {"\"" + kept + "\" -x", true},
        {"kernel32.dll", true},
    };
    for (const Row &row : rows)
        RegPut(HKEY_CURRENT_USER, kBaselineRun, row.name.c_str(), "11");
    // A neighbouring key with a missing program is not touched.
    const char *other = "Software\\Dunmere Works\\Brackmoor\\Hidden";
    RegPut(HKEY_CURRENT_USER, other, "C:\\no\\such\\gone.exe", "370");

    TraceToTempFile();
    fileRemoveOldRegPointer(kBaselineRun);
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); i++)
        EXPECT_EQ(rows[i].stays, RegHasValue(HKEY_CURRENT_USER, kBaselineRun, rows[i].name.c_str()))
            << "row " << i << ": " << rows[i].name;
    EXPECT_TRUE(RegHasValue(HKEY_CURRENT_USER, other, "C:\\no\\such\\gone.exe"));
    EXPECT_TRUE(TraceHas("fileRemoveOldRegPointer DeleteRegValue: C:\\no\\such\\Brackmoor Gone.exe"));
}

// The watchers run these on every pass for months: not one handle may stay open.
TEST_F(Files, RepeatedCallsLeaveNoHandleOpen)
{
    const std::string file = MakeFile("handles.txt", "a\nb\n");
    const int saved64 = Is64BitWindows;
    uintptr_t before = 0;
    char buf[MAX_PATH], times[4][FILE_TIME_TEXT_MAX];
    for (int k = 0; k <= 20; k++) {
        if (k == 1)
            before = NextHandleSlot();   // after a first round that may load libraries for good
        for (int bits : {1, 0})
            for (const char *path : {file.c_str(), "kernel32.dll", "C:\\no\\such.exe"}) {
                Is64BitWindows = bits;
                CopyText(buf, MAX_PATH, path);
                FileExists(buf);
                Is64BitWindows = saved64;
            }
        GetMyFileTime(file.c_str(), times[0], times[1], times[2], times[3]);
        DWORD size = 16;
        GlobalFree(ReadtheFile(file.c_str(), &size));
        for (size_t stop : {0, 1}) {   // Wine closes an exhausted search by itself; a stopped one stays open
            CopyText(buf, MAX_PATH, TempFolder().c_str());
            WalkLog log{{}, stop};
            WalkFolder(buf, RecordWalk, 1, &log);
        }
        RegPut(HKEY_CURRENT_USER, kBaselineRun, "C:\\no\\such\\gone.exe", "11");
        fileRemoveOldRegPointer(kBaselineRun);
    }
    EXPECT_EQ(before, NextHandleSlot());
    EXPECT_FALSE(RegHasValue(HKEY_CURRENT_USER, kBaselineRun, "C:\\no\\such\\gone.exe"));
}

}   // namespace
