// The registry access layer, read back through the raw registry, profile and version calls;
// the test program is a 64-bit process, so the paths that pick a registry view run here.
#include <windows.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "common/registry.h"
#include "common/text.h"
#include "common/tracelog.h"
#include "support/system_state.h"
#include "support/test_env.h"

namespace {

const char kRegKey[] = "Software\\Dunmere Works\\TestReg";
const char kViewKey[] = "Software\\Dunmere Works\\TestView";

// "tag: message" of a trace entry: what follows the time stamp's " - ".
std::string Body(const std::string &entry) {
    return entry.substr(entry.find(" - ", entry.find('=')) + 3);
}

// Removes a file tree when the test ends, however it ends.
struct RemovedAtEnd {
    std::string path;
    ~RemovedAtEnd() { RemoveTree(path); }
};

}  // namespace

TEST_F(BrackmoorTest, GetRegStringTakesOnlyWholeTextsOfEveryType) {
    char systemRoot[MAX_PATH] = "";
    ASSERT_GT(GetEnvironmentVariableA("SystemRoot", systemRoot, MAX_PATH), 0u);
    const std::string expanded = std::string(systemRoot) + "\\system32";
    const std::string eight("abcdefgh", 9), env("%SystemRoot%\\system32", 22);
    // The data is stored as given, without a NUL unless it holds one; type 0: no value.
    const struct { std::string data; DWORD type; int cap; std::string text; } rows[] = {
        {eight, REG_SZ, 8, ""},   // the text alone fills the buffer: no room for its NUL
        {eight, REG_SZ, 9, "abcdefgh"},
        {std::string(1, '\0'), REG_SZ, 16, ""},
        {"", 0, 16, ""},
        {std::string("\x39\x30\0\0", 4), REG_DWORD, 64, ""},
        {env, REG_EXPAND_SZ, 512, expanded},
        {env, REG_EXPAND_SZ, (int)expanded.size(), ""},   // the expanded text plus NUL must fit
        {env, REG_SZ, 512, "%SystemRoot%\\system32"},
        {std::string("abc\0def", 7), REG_BINARY, 64, "abc"},
        {"hello", REG_SZ, 64, "hello"},
        {std::string(1024, 'Q'), REG_SZ, 2048, std::string(1024, 'Q')},   // exactly the read buffer
        {std::string(1025, 'R'), REG_SZ, 2048, ""},
    };
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); i++) {
        RegRemoveValue(HKEY_CURRENT_USER, kRegKey, "V");
        if (rows[i].type) {   // a non-NUL byte follows, or the registry would store a NUL after all
            RegPutBinary(HKEY_CURRENT_USER, kRegKey, "V", (rows[i].data + "X").data(), (DWORD)rows[i].data.size(),
                         rows[i].type);
            ASSERT_EQ(std::to_string(rows[i].type) + ":" + rows[i].data, RegKeyValues(HKEY_CURRENT_USER, kRegKey)["V"])
                << "row " << i;
        }
        std::vector<char> buf(rows[i].cap + kGuardLen);
        FillGuarded(buf.data(), buf.size());
        EXPECT_EQ((int)rows[i].text.size(), GetRegString(HKEY_CURRENT_USER, kRegKey, "V", buf.data(), rows[i].cap))
            << "row " << i;
        ASSERT_TRUE(std::memchr(buf.data(), '\0', rows[i].cap)) << "row " << i << ": unterminated";
        EXPECT_EQ(rows[i].text, buf.data()) << "row " << i;
        EXPECT_TRUE(GuardIntact(buf.data(), rows[i].cap)) << "row " << i;
    }
    char out[64] = "sentinel";
    EXPECT_EQ(0, GetRegString(HKEY_CURRENT_USER, "Software\\Dunmere Works\\NoSuchKey", "V", out, sizeof(out)));
    EXPECT_STREQ("", out);
}

TEST_F(BrackmoorTest, RegistryMasksNameTheViewToWriteAndToRead) {
    for (REGSAM view : {k32, k64}) {
        RegWriteAccess = KEY_ALL_ACCESS | view;
        EXPECT_EQ(1, SetRegString(HKEY_LOCAL_MACHINE, kViewKey, "Where", view == k32 ? "in32" : "in64"));
    }
    RegWriteAccess = KEY_ALL_ACCESS;
    for (REGSAM view : {k32, k64}) {
        const char *text = view == k32 ? "in32" : "in64";
        char out[64];
        EXPECT_EQ(text, RegText(HKEY_LOCAL_MACHINE, kViewKey, "Where", view));
        RegReadAccess = KEY_READ | view;
        EXPECT_EQ(4, GetRegString(HKEY_LOCAL_MACHINE, kViewKey, "Where", out, sizeof(out)));
        EXPECT_STREQ(text, out);
    }
    RegReadAccess = KEY_READ;

    // A text is stored with its NUL; a missing key is traced once (by the DWORD
    // write alone), then made.
    TraceToTempFile();
    const char *deep = "Software\\Dunmere Works\\TestReg\\New\\Deeper";
    EXPECT_EQ(1, SetRegString(HKEY_CURRENT_USER, deep, "Text", "written"));
    EXPECT_EQ(std::string("1:written", 10), RegKeyValues(HKEY_CURRENT_USER, deep)["Text"]);   // REG_SZ
    for (DWORD value : {0xDEADBEEFu, 7u}) {
        EXPECT_EQ(1, SetRegDWORDValue(HKEY_CURRENT_USER, kViewKey, "Count", value));
        EXPECT_EQ("4:" + std::string((const char *)&value, 4), RegKeyValues(HKEY_CURRENT_USER, kViewKey)["Count"]);
    }
    std::vector<std::string> entries = TraceEntries();
    ASSERT_EQ(1u, entries.size());
    EXPECT_EQ(0u, Body(entries[0]).find("MyError:  SetRegDWORDValue RegOpenKeyEx: 2  ")) << entries[0];
}

TEST_F(BrackmoorTest, DeleteRegValueFindsTheViewThatHoldsIt) {
    TraceToTempFile();
    const struct {
        HKEY root;
        const char *name;                // NULL and "": the key's default value
        int is64, in32, in64, other32;   // other32: the 32-bit view has the key, without the value
        int result, left32, left64;      // left: where the value is afterwards
        const char *body;                // the trace entry's "tag: message"
    } rows[] = {
        {HKLM, "Only64", 1, 0, 1, 0, 1, 0, 0, "RegDeleteValue KEY_WOW64_64KEY TRUE: Only64"},
        {HKLM, "Only64", 1, 0, 1, 1, 1, 0, 0, "RegDeleteValue KEY_WOW64_64KEY TRUE: Only64"},
        {HKLM, "Only32", 1, 1, 0, 0, 1, 0, 0, "RegDeleteValue KEY_WOW64_32KEY TRUE: Only32"},
        {HKLM, "Both", 1, 1, 1, 0, 1, 0, 1, "RegDeleteValue KEY_WOW64_32KEY TRUE: Both"},
        {HKLM, "Nowhere", 1, 0, 0, 1, 0, 0, 0, "RegDeleteValue FALSE: Nowhere"},
        {HKCU, "", 1, 1, 1, 0, 0, 1, 1, "RegDeleteValue FALSE: NULL"},
        {HKCU, NULL, 1, 1, 1, 0, 0, 1, 1, "RegDeleteValue FALSE: NULL"},
        // 32-bit Windows: one attempt with the write mask.
        {HKCU, "Plain", 0, 1, 1, 0, 1, 0, 0, "RegDeleteValue KEY_SET_VALUE TRUE: Plain"},
        {HKCU, "Plain", 0, 0, 0, 0, 0, 0, 0, "RegDeleteValue FALSE: Plain"},
    };
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); i++) {
        const char *path = rows[i].root == HKCU ? kRegKey : kViewKey;
        for (REGSAM view : {k32, k64})
            RegDeleteTreeView(rows[i].root, path, view);
        if (rows[i].other32)
            RegPut(rows[i].root, path, "Other", "o", k32);
        if (rows[i].in32)
            RegPut(rows[i].root, path, rows[i].name, "x", k32);
        if (rows[i].in64)
            RegPut(rows[i].root, path, rows[i].name, "x", k64);
        ASSERT_EQ(rows[i].in32 != 0, RegHasValue(rows[i].root, path, rows[i].name, k32)) << "row " << i;

        size_t before = TraceEntries().size();
        Is64BitWindows = rows[i].is64;
        int result = DeleteRegValue(rows[i].root, path, rows[i].name);
        Is64BitWindows = 1;
        EXPECT_EQ(rows[i].result, result) << "row " << i;
        EXPECT_EQ(rows[i].left32 != 0, RegHasValue(rows[i].root, path, rows[i].name, k32)) << "row " << i;
        EXPECT_EQ(rows[i].left64 != 0, RegHasValue(rows[i].root, path, rows[i].name, k64)) << "row " << i;
        EXPECT_EQ(rows[i].other32 != 0, RegHasValue(rows[i].root, path, "Other", k32)) << "row " << i;
        std::vector<std::string> entries = TraceEntries();
        ASSERT_EQ(before + 1, entries.size()) << "row " << i;
        EXPECT_EQ(rows[i].body, Body(entries.back())) << "row " << i;
    }
}

TEST_F(BrackmoorTest, DeleteRegKeyTreeRemovesEveryLevelInEitherView) {
    const std::string base = "Software\\Dunmere Works\\TestTree";
    // The caller's path may end in a backslash; the tree is made in the view that the read mask names.
    const struct { HKEY root; const char *slash; REGSAM view; int is64; } rows[] = {
        {HKEY_CURRENT_USER, "", 0, 1},   {HKEY_CURRENT_USER, "\\", 0, 1}, {HKEY_LOCAL_MACHINE, "", k64, 1},
        {HKEY_LOCAL_MACHINE, "", k32, 1},   // what a 32-bit process sees by default under HKLM\Software
        {HKEY_CURRENT_USER, "", 0, 0},
    };
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); i++) {
        for (const char *sub : {"", "\\A", "\\A\\B", "\\A\\B\\C", "\\D", "Keep"})
            RegPut(rows[i].root, (base + sub).c_str(), "V", sub, rows[i].view);
        char path[MAX_PATH];
        CopyText(path, sizeof(path), (base + rows[i].slash).c_str());
        Is64BitWindows = rows[i].is64;
        RegReadAccess = KEY_READ | rows[i].view;
        EXPECT_EQ(1, DeleteRegKeyTree(rows[i].root, path)) << "row " << i;
        RegReadAccess = KEY_READ;
        Is64BitWindows = 1;
        EXPECT_EQ(base + rows[i].slash, path) << "row " << i << ": the caller's path comes back unchanged";
        EXPECT_FALSE(RegHasKey(rows[i].root, base.c_str(), k32)) << "row " << i;
        EXPECT_FALSE(RegHasKey(rows[i].root, base.c_str(), k64)) << "row " << i;
        EXPECT_TRUE(RegHasValue(rows[i].root, (base + "Keep").c_str(), "V", rows[i].view)) << "row " << i;
        RegDeleteTreeView(rows[i].root, (base + "Keep").c_str(), rows[i].view);
    }
    char missing[MAX_PATH] = "Software\\Dunmere Works\\NoSuchTree";
    EXPECT_EQ(1, DeleteRegKeyTree(HKEY_CURRENT_USER, missing)) << "an absent key counts as deleted";
}

TEST_F(BrackmoorTest, QueryOpenKeyReadsAndClosesTheKey) {
    RegPut(HKEY_CURRENT_USER, kRegKey, "Text", "abc");   // four bytes, like a DWORD
    RegPutDword(HKEY_CURRENT_USER, kRegKey, "Number", 0x12345678);
    const struct { const char *name; DWORD type, number; long numberOr; } rows[] = {
        {"Text", REG_SZ, 0, -1}, {"Number", REG_DWORD, 0x12345678, 0x12345678}, {"Missing", 0, 0, -1}};
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); i++) {
        HKEY keys[3];
        for (HKEY &key : keys)
            ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, kRegKey, 0, KEY_READ, &key));
        EXPECT_EQ(rows[i].type, QueryOpenKeyType(keys[0], rows[i].name)) << "row " << i;
        EXPECT_EQ(rows[i].number, QueryOpenKeyDWORD(keys[1], rows[i].name)) << "row " << i;
        EXPECT_EQ(rows[i].numberOr, QueryOpenKeyDWORDOr(keys[2], rows[i].name)) << "row " << i;
        for (int k = 0; k < 3; k++)
            EXPECT_NE(ERROR_SUCCESS, RegCloseKey(keys[k])) << "row " << i << " call " << k << ": key left open";
    }
}

TEST_F(BrackmoorTest, WinIniListsKeepEveryOtherEntry) {
    char line[8192];
    auto lineOf = [&line](const char *key) {
        GetProfileStringA("windows", key, "\x01", line, sizeof(line));
        return std::string(line);
    };
    // The real lines and attributes go back however the test ends.
    struct SavedIni : SavedWinIniLists {
        std::string ini = WindowsFolder() + "\\win.ini";
        DWORD attributes = GetFileAttributesA(ini.c_str());
        ~SavedIni() {
            SetFileAttributesA(ini.c_str(), FILE_ATTRIBUTE_NORMAL);
            SavedWinIniLists::Restore();
            SetFileAttributesA(ini.c_str(), attributes);
        }
    } saved;

    const std::string long3000(3000, 'a'), long1200(1200, 'b');
    const struct { const char *key; std::string before; bool add; const char *item; std::string after; int result; } rows[] = {
        // Both copies go, whatever their case; the longer name that begins with the item stays.
        {"load", "a.exe;C:\\X\\TOOL.EXE;c:\\x\\tool.exe;C:\\x\\toolbar.exe", false, "C:\\X\\Tool.exe",
         "a.exe;C:\\x\\toolbar.exe;", 1},
        // An item that is not there leaves the list untouched.
        {"run", "C:\\x\\tool.ex", false, "C:\\x\\tool.exe", "C:\\x\\tool.ex", 0},
        {"load", "C:\\x\\tool.exe;tool.exe;tool.exe2;tool.exe -min", false, "TOOL.EXE",
         "C:\\x\\tool.exe;tool.exe2;tool.exe -min;", 1},
        {"load", "a.exe;;b.exe;", false, "b.exe", "a.exe;", 1},
        {"load", "", true, "C:\\x\\tool.exe", ";C:\\x\\tool.exe", 1},
        // A list that would grow past what is read whole is left as it is, not cut.
        {"load", long3000, true, long1200.c_str(), long3000, 0},
    };
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); i++) {
        ASSERT_TRUE(WriteProfileStringA("windows", rows[i].key, rows[i].before.c_str())) << "row " << i;
        ASSERT_EQ(rows[i].before, lineOf(rows[i].key)) << "row " << i;
        // A read-only win.ini would make the profile write fail without a word.
        ASSERT_TRUE(SetFileAttributesA(saved.ini.c_str(), saved.attributes | FILE_ATTRIBUTE_READONLY));
        int result = rows[i].add ? AddToWinIniList(rows[i].key, rows[i].item) : RemoveFromWinIniList(rows[i].key, rows[i].item);
        EXPECT_EQ(rows[i].result, result) << "row " << i;
        EXPECT_EQ(rows[i].after, lineOf(rows[i].key)) << "row " << i;
        EXPECT_EQ(rows[i].result ? 0u : (DWORD)FILE_ATTRIBUTE_READONLY,
                  GetFileAttributesA(saved.ini.c_str()) & FILE_ATTRIBUTE_READONLY) << "row " << i;
    }
}

TEST_F(BrackmoorTest, GetVersionInfoReadsTheRecordByItsRules) {
    TraceToTempFile();
    char programFiles[MAX_PATH] = "";
    GetEnvironmentVariableA("ProgramFiles", programFiles, MAX_PATH);
    RemovedAtEnd vendor{std::string(programFiles) + "\\Dunmere Vendor Test"};
    CreateDirectoryA(vendor.path.c_str(), NULL);

    const std::string name127(127, 'n'), name128(128, 'n');
    const std::vector<std::string> none(5, "");
    // A ".txt" file is plain text; a file without strings is not there at all.
    const struct {
        const char *file;
        bool underProgramFiles;
        std::vector<std::pair<std::string, std::string>> strings;
        int result;
        std::vector<std::string> fields;
    } rows[] = {
        {"notes.txt", true, {}, 0, none},
        {"missing.exe", false, {}, 0, none},
        // Without a company, the folder below Program Files names the vendor.
        {"novendor.exe", true, {{"ProductName", "Tool"}, {"ProductVersion", "1.2"}}, 1,
         {"Tool", "1.2", "Dunmere Vendor Test", "", ""}},
        // A system file names the whole system; its description is taken instead.
        {"system.exe", false,
         {{"ProductName", "Dunmere(R) Windows(R) operating system"}, {"FileDescription", "Shell"},
          {"CompanyName", "M"}},
         1, {"Shell", "", "M", "Shell", ""}},
        // A value over 127 characters counts as missing.
        {"long127.exe", false, {{"ProductName", name127}, {"CompanyName", name128}}, 1, {name127, "", "", "", ""}},
        {"long128.exe", false, {{"ProductName", name128}, {"CompanyName", "M"}}, 0, {"", "", "M", "", ""}},
        // A record of 8192 bytes or more is not trusted at all, and that is traced.
        {"huge.exe", false, {{"ProductName", "Huge"}, {"Comments", std::string(5000, 'f')}}, 0, none},
    };
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); i++) {
        std::string file = (rows[i].underProgramFiles ? vendor.path : TempFolder()) + "\\" + rows[i].file;
        if (file.find(".txt") != std::string::npos)
            WriteWholeFile(file, "no version record here");
        else if (!rows[i].strings.empty())
            MakeVersionedFile(file, rows[i].strings);
        VersionRecord rec;
        std::memset(&rec, 0x5A, sizeof(rec));   // a field left alone shows as unterminated
        EXPECT_EQ(rows[i].result, GetVersionInfo(file.c_str(), &rec)) << "row " << i;
        std::vector<std::string> fields;
        for (const char *f : {rec.ProductName, rec.ProductVersion, rec.CompanyName, rec.FileDescription,
                              rec.LegalCopyright})
            fields.push_back(std::memchr(f, '\0', VERSION_FIELD_MAX) ? f : "<unterminated>");
        EXPECT_EQ(rows[i].fields, fields) << "row " << i;
    }
    std::vector<std::string> entries = TraceEntries();
    ASSERT_EQ(1u, entries.size());
    EXPECT_EQ(0u, Body(entries[0]).find("MyError:  GetVersionInfoEx GetFileVersionInfoSize: ")) << entries[0];
}

TEST_F(BrackmoorTest, FindAppPathLooksInThreePlacesInOrder) {
    // App Paths entries and the two AppSpecific keys are the system's: exactly
    // the keys made here go again.
    struct Made : NewKeys {
        ~Made() { Remove(); }
    } made;
    auto put = [&made](HKEY root, const char *base, const char *exe, const char *name, const std::string &text) {
        std::string path = std::string("Software\\Microsoft\\") + base + "\\" + exe;
        made.Watch(root, path);
        RegPut(root, path.c_str(), name, text.c_str());
    };
    const char *appPaths = "Windows\\CurrentVersion\\App Paths", *point = "IntelliPoint\\AppSpecific";
    put(HKEY_LOCAL_MACHINE, appPaths, "dunmere_apppath.exe", "", ThisProgram());
    put(HKEY_CURRENT_USER, point, "dunmere_point.exe", "Path", ThisProgram());
    put(HKEY_CURRENT_USER, "IntelliType Pro\\AppSpecific", "dunmere_type.exe", "Path", ThisProgram());
    // The first place wins even when its program is gone and a later one names one that is there.
    put(HKEY_LOCAL_MACHINE, appPaths, "dunmere_gone.exe", "", TempFolder() + "\\gone.exe");
    put(HKEY_CURRENT_USER, point, "dunmere_gone.exe", "Path", ThisProgram());
    const struct {
        std::string exe;
        const char *version;   // "": not found
    } rows[] = {
        {"dunmere_apppath.exe", "33.1.2015.0"}, {"DUNMERE_APPPATH.EXE", "33.1.2015.0"},
        {"dunmere_point.exe", "33.1.2015.0"},   {"dunmere_type.exe", "33.1.2015.0"},
        {"dunmere_gone.exe", ""},               {"dunmere_nowhere.exe", ""},
        {std::string(260, 'x'), ""},
    };
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); i++) {
        char version[VERSION_FIELD_MAX + kGuardLen];
        FillGuarded(version, sizeof(version));
        EXPECT_EQ(rows[i].version[0] ? 1 : 0, FindAppPath(rows[i].exe.c_str(), version)) << "row " << i;
        EXPECT_STREQ(rows[i].version, version) << "row " << i;
        EXPECT_TRUE(GuardIntact(version, VERSION_FIELD_MAX)) << "row " << i;
    }
}
