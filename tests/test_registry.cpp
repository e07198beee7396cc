// The registry access layer, read back through the raw registry, profile and
// version calls rather than through the layer itself. Under Wine the test
// program is a 64-bit process, so the paths that pick a registry view run here.
#include <windows.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "common/registry.h"
#include "common/text.h"
#include "common/tracelog.h"
#include "support/test_env.h"

namespace {

const char kRegKey[] = "Software\\Dunmere Works\\TestReg";
const char kViewKey[] = "Software\\Dunmere Works\\TestView";
const char kGuard = 0x5A;

// The trace log of this test goes to its own folder; every entry is written.
void TraceToTempFolder() {
    std::string path = TempFolder() + "\\trace.txt";
    CopyText(TestLogPath, sizeof(TestLogPath), path.c_str());
    TestLogCounter = 0;
}

// "tag: message" of each entry: what follows the time stamp's " - ".
std::vector<std::string> TraceBodies() {
    std::vector<std::string> bodies;
    for (const std::string &line : TraceEntries()) {
        size_t dash = line.find(" - ", line.find('='));
        bodies.push_back(dash == std::string::npos ? line : line.substr(dash + 3));
    }
    return bodies;
}

bool RawDword(HKEY root, const char *path, const char *name, REGSAM view, DWORD *value) {
    HKEY key;
    if (RegOpenKeyExA(root, path, 0, KEY_READ | view, &key) != ERROR_SUCCESS)
        return false;
    DWORD type = 0, size = sizeof(*value);
    bool ok = RegQueryValueExA(key, name, NULL, &type, (BYTE *)value, &size) == ERROR_SUCCESS &&
              type == REG_DWORD && size == sizeof(*value);
    RegCloseKey(key);
    return ok;
}

// The size the registry holds for a value, read without a buffer.
DWORD StoredSize(HKEY root, const char *path, const char *name) {
    HKEY key;
    DWORD size = 0;
    if (RegOpenKeyExA(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return 0;
    if (RegQueryValueExA(key, name, NULL, NULL, NULL, &size) != ERROR_SUCCESS)
        size = 0;
    RegCloseKey(key);
    return size;
}

// Calls GetRegString into a buffer of cap characters followed by guard bytes.
struct ReadResult {
    int length;
    std::string text;
    bool guardIntact;
    bool terminated;
};

ReadResult ReadWithGuard(HKEY root, const char *path, const char *name, int cap) {
    std::vector<char> buf(cap + 16, kGuard);
    ReadResult r;
    r.length = GetRegString(root, path, name, buf.data(), cap);
    r.terminated = std::memchr(buf.data(), '\0', cap) != nullptr;
    r.text = r.terminated ? std::string(buf.data()) : std::string();
    r.guardIntact = true;
    for (size_t i = cap; i < buf.size(); i++)
        if (buf[i] != kGuard)
            r.guardIntact = false;
    return r;
}

}  // namespace

TEST_F(BrackmoorTest, GetRegStringFitsTextAndNulInCapacity) {
    RegPut(HKEY_CURRENT_USER, kRegKey, "Eight", "abcdefgh");
    RegPut(HKEY_CURRENT_USER, kRegKey, "Empty", "");
    RegPut(HKEY_CURRENT_USER, kRegKey, "Zero", "0");
    const struct {
        const char *name;
        int cap;
        int length;
        const char *text;
    } rows[] = {
        {"Eight", 8, 0, ""},            // the text alone fills the buffer: no room for its NUL
        {"Eight", 9, 8, "abcdefgh"},
        {"Eight", 1, 0, ""},
        {"Eight", 1024, 8, "abcdefgh"},
        {"Empty", 16, 0, ""},
        {"Zero", 2, 1, "0"},            // an option "0" reads as length 1
        {"Zero", 1, 0, ""},
        {"Missing", 16, 0, ""},
    };
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); i++) {
        ReadResult r = ReadWithGuard(HKEY_CURRENT_USER, kRegKey, rows[i].name, rows[i].cap);
        EXPECT_EQ(rows[i].length, r.length) << "row " << i;
        EXPECT_TRUE(r.terminated) << "row " << i;
        EXPECT_EQ(rows[i].text, r.text) << "row " << i;
        EXPECT_TRUE(r.guardIntact) << "row " << i;
    }
    ReadResult missingKey =
        ReadWithGuard(HKEY_CURRENT_USER, "Software\\Dunmere Works\\NoSuchKey", "Eight", 64);
    EXPECT_EQ(0, missingKey.length);
    EXPECT_EQ("", missingKey.text);
    EXPECT_TRUE(missingKey.guardIntact);
}

TEST_F(BrackmoorTest, GetRegStringByValueType) {
    char systemRoot[MAX_PATH] = "";
    ASSERT_GT(GetEnvironmentVariableA("SystemRoot", systemRoot, MAX_PATH), 0u);
    const char binary[] = {'a', 'b', 'c', '\0', 'd', 'e', 'f'};
    const char multi[] = "one\0two\0";
    // RegSetValueExA adds the NUL itself when the byte after the given length is
    // one, so each text stored without its NUL is followed by a non-NUL byte.
    std::string unterminated = "helloX";
    std::string fill1024 = std::string(1024, 'Q') + "X";
    std::string fill1025 = std::string(1025, 'R') + "X";

    RegPutDword(HKEY_CURRENT_USER, kRegKey, "Dword", 12345);
    RegPut(HKEY_CURRENT_USER, kRegKey, "Expand", "%SystemRoot%\\system32", 0, REG_EXPAND_SZ);
    RegPut(HKEY_CURRENT_USER, kRegKey, "Literal", "%SystemRoot%\\system32");
    RegPutBinary(HKEY_CURRENT_USER, kRegKey, "Binary", binary, sizeof(binary), REG_BINARY);
    RegPutBinary(HKEY_CURRENT_USER, kRegKey, "Multi", multi, sizeof(multi), REG_MULTI_SZ);
    RegPutBinary(HKEY_CURRENT_USER, kRegKey, "NoNul", unterminated.data(), 5, REG_SZ);
    // Exactly the read buffer, without a NUL; and one byte more than the buffer.
    RegPutBinary(HKEY_CURRENT_USER, kRegKey, "Full", fill1024.data(), 1024, REG_SZ);
    RegPutBinary(HKEY_CURRENT_USER, kRegKey, "TooLong", fill1025.data(), 1025, REG_SZ);
    const struct {
        const char *name;
        DWORD size;
    } stored[] = {{"NoNul", 5}, {"Full", 1024}, {"TooLong", 1025}};
    for (size_t i = 0; i < sizeof(stored) / sizeof(stored[0]); i++)
        ASSERT_EQ(stored[i].size, StoredSize(HKEY_CURRENT_USER, kRegKey, stored[i].name))
            << "stored row " << i;

    std::string expanded = std::string(systemRoot) + "\\system32";
    const struct {
        const char *name;
        int cap;
        std::string text;
    } rows[] = {
        {"Dword", 64, ""},
        {"Expand", 512, expanded},
        {"Expand", (int)expanded.size(), ""},   // expanded text plus NUL must fit
        {"Literal", 512, "%SystemRoot%\\system32"},
        {"Binary", 64, "abc"},
        {"Multi", 64, "one"},
        {"NoNul", 64, "hello"},
        {"NoNul", 5, ""},
        {"Full", 2048, fill1024.substr(0, 1024)},
        {"TooLong", 2048, ""},
    };
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); i++) {
        ReadResult r = ReadWithGuard(HKEY_CURRENT_USER, kRegKey, rows[i].name, rows[i].cap);
        EXPECT_EQ((int)rows[i].text.size(), r.length) << "row " << i << " " << rows[i].name;
        EXPECT_EQ(rows[i].text, r.text) << "row " << i << " " << rows[i].name;
        EXPECT_TRUE(r.guardIntact) << "row " << i;
    }
}

TEST_F(BrackmoorTest, GetRegStringReadsTheViewOfTheReadMask) {
    RegPut(HKEY_LOCAL_MACHINE, kViewKey, "Where", "in64", KEY_WOW64_64KEY);
    RegPut(HKEY_LOCAL_MACHINE, kViewKey, "Where", "in32", KEY_WOW64_32KEY);
    const struct {
        REGSAM mask;
        const char *text;
    } rows[] = {
        {KEY_READ | KEY_WOW64_64KEY, "in64"},
        {KEY_READ | KEY_WOW64_32KEY, "in32"},
    };
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); i++) {
        RegReadAccess = rows[i].mask;
        ReadResult r = ReadWithGuard(HKEY_LOCAL_MACHINE, kViewKey, "Where", 64);
        EXPECT_EQ(rows[i].text, r.text) << "row " << i;
    }
    RegReadAccess = KEY_READ;
}

TEST_F(BrackmoorTest, SetRegValuesCreateKeysAndWriteTheWriteMaskView) {
    TraceToTempFolder();
    const char *deep = "Software\\Dunmere Works\\TestReg\\New\\Deeper";

    EXPECT_EQ(1, SetRegString(HKEY_CURRENT_USER, deep, "Text", "written"));
    EXPECT_EQ("written", RegText(HKEY_CURRENT_USER, deep, "Text"));
    EXPECT_TRUE(TraceEntries().empty()) << "SetRegString does not trace";

    const char *dwordKey = "Software\\Dunmere Works\\TestReg\\Numbers";
    EXPECT_EQ(1, SetRegDWORDValue(HKEY_CURRENT_USER, dwordKey, "Count", 0xDEADBEEF));
    DWORD value = 0;
    ASSERT_TRUE(RawDword(HKEY_CURRENT_USER, dwordKey, "Count", 0, &value));
    EXPECT_EQ(0xDEADBEEFu, value);
    // The key was missing: the first open failed and that is traced.
    std::vector<std::string> bodies = TraceBodies();
    ASSERT_EQ(1u, bodies.size());
    EXPECT_EQ(0u, bodies[0].find("MyError:  SetRegDWORDValue RegOpenKeyEx: 2  ")) << bodies[0];

    // An existing key is opened at once: no further trace entry.
    EXPECT_EQ(1, SetRegDWORDValue(HKEY_CURRENT_USER, dwordKey, "Count", 7));
    ASSERT_TRUE(RawDword(HKEY_CURRENT_USER, dwordKey, "Count", 0, &value));
    EXPECT_EQ(7u, value);
    EXPECT_EQ(1u, TraceEntries().size());

    // A text is stored as REG_SZ with its NUL.
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, deep, 0, KEY_READ, &key));
    DWORD type = 0, size = 0;
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, "Text", NULL, &type, NULL, &size));
    RegCloseKey(key);
    EXPECT_EQ((DWORD)REG_SZ, type);
    EXPECT_EQ(8u, size);

    // A path that sets the 64-bit write mask writes only that view.
    RegWriteAccess = KEY_WRITE | KEY_WOW64_64KEY;
    EXPECT_EQ(1, SetRegString(HKEY_LOCAL_MACHINE, kViewKey, "Only64", "x"));
    EXPECT_EQ(1, CreateRegKey(HKEY_LOCAL_MACHINE, "Software\\Dunmere Works\\TestView\\Sub64"));
    RegWriteAccess = KEY_ALL_ACCESS;
    EXPECT_TRUE(RegHasValue(HKEY_LOCAL_MACHINE, kViewKey, "Only64", KEY_WOW64_64KEY));
    EXPECT_FALSE(RegHasValue(HKEY_LOCAL_MACHINE, kViewKey, "Only64", KEY_WOW64_32KEY));
    EXPECT_TRUE(RegHasKey(HKEY_LOCAL_MACHINE, "Software\\Dunmere Works\\TestView\\Sub64", KEY_WOW64_64KEY));
    EXPECT_FALSE(RegHasKey(HKEY_LOCAL_MACHINE, "Software\\Dunmere Works\\TestView\\Sub64", KEY_WOW64_32KEY));
}

TEST_F(BrackmoorTest, DeleteRegValueFindsTheViewThatHoldsIt) {
    TraceToTempFolder();
    const REGSAM v32 = KEY_WOW64_32KEY, v64 = KEY_WOW64_64KEY;
    const struct {
        HKEY root;
        const char *name;
        bool in32, in64;
        bool keyIn32;          // the 32-bit view has the key, without the value
        int result;
        const char *body;      // the trace entry's "tag: message"
    } rows[] = {
        {HKEY_LOCAL_MACHINE, "Only64", false, true, false, 1,
         "RegDeleteValue KEY_WOW64_64KEY TRUE: Only64"},
        {HKEY_LOCAL_MACHINE, "Only64KeyIn32", false, true, true, 1,
         "RegDeleteValue KEY_WOW64_64KEY TRUE: Only64KeyIn32"},
        {HKEY_LOCAL_MACHINE, "Only32", true, false, false, 1,
         "RegDeleteValue KEY_WOW64_32KEY TRUE: Only32"},
        {HKEY_LOCAL_MACHINE, "Nowhere", false, false, true, 0, "RegDeleteValue FALSE: Nowhere"},
        {HKEY_CURRENT_USER, "Shared", true, true, false, 1,
         "RegDeleteValue KEY_WOW64_32KEY TRUE: Shared"},
    };
    const char *path[] = {kViewKey, kViewKey, kViewKey, kViewKey, kRegKey};
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); i++) {
        RegDeleteTreeView(rows[i].root, path[i], v32);
        RegDeleteTreeView(rows[i].root, path[i], v64);
        if (rows[i].keyIn32)
            RegPut(rows[i].root, path[i], "Other", "x", v32);
        if (rows[i].in32)
            RegPut(rows[i].root, path[i], rows[i].name, "x", v32);
        if (rows[i].in64)
            RegPut(rows[i].root, path[i], rows[i].name, "x", v64);
        ASSERT_EQ(rows[i].in32, RegHasValue(rows[i].root, path[i], rows[i].name, v32)) << "row " << i;

        size_t before = TraceEntries().size();
        EXPECT_EQ(rows[i].result, DeleteRegValue(rows[i].root, path[i], rows[i].name)) << "row " << i;
        EXPECT_FALSE(RegHasValue(rows[i].root, path[i], rows[i].name, v32)) << "row " << i;
        EXPECT_FALSE(RegHasValue(rows[i].root, path[i], rows[i].name, v64)) << "row " << i;
        std::vector<std::string> bodies = TraceBodies();
        ASSERT_EQ(before + 1, bodies.size()) << "row " << i;
        EXPECT_EQ(rows[i].body, bodies.back()) << "row " << i;
        if (rows[i].keyIn32) {
            EXPECT_TRUE(RegHasValue(rows[i].root, path[i], "Other", v32)) << "row " << i;
        }
    }

    // Both views hold it: one call deletes the 32-bit copy, the next the 64-bit one.
    RegPut(HKEY_LOCAL_MACHINE, kViewKey, "Both", "x", v32);
    RegPut(HKEY_LOCAL_MACHINE, kViewKey, "Both", "y", v64);
    EXPECT_EQ(1, DeleteRegValue(HKEY_LOCAL_MACHINE, kViewKey, "Both"));
    EXPECT_FALSE(RegHasValue(HKEY_LOCAL_MACHINE, kViewKey, "Both", v32));
    EXPECT_EQ("y", RegText(HKEY_LOCAL_MACHINE, kViewKey, "Both", v64));
    EXPECT_EQ(1, DeleteRegValue(HKEY_LOCAL_MACHINE, kViewKey, "Both"));
    EXPECT_FALSE(RegHasValue(HKEY_LOCAL_MACHINE, kViewKey, "Both", v64));
    EXPECT_EQ("RegDeleteValue KEY_WOW64_64KEY TRUE: Both", TraceBodies().back());
}

TEST_F(BrackmoorTest, DeleteRegValueRefusesTheEmptyNameAndUsesTheWriteMaskOn32Bit) {
    TraceToTempFolder();
    RegPut(HKEY_CURRENT_USER, kRegKey, "", "default value");
    EXPECT_EQ(0, DeleteRegValue(HKEY_CURRENT_USER, kRegKey, ""));
    EXPECT_EQ(0, DeleteRegValue(HKEY_CURRENT_USER, kRegKey, NULL));
    EXPECT_EQ("default value", RegText(HKEY_CURRENT_USER, kRegKey, ""));
    std::vector<std::string> bodies = TraceBodies();
    ASSERT_EQ(2u, bodies.size());
    EXPECT_EQ("RegDeleteValue FALSE: NULL", bodies[0]);
    EXPECT_EQ("RegDeleteValue FALSE: NULL", bodies[1]);

    // 32-bit Windows: one attempt with the write mask.
    Is64BitWindows = 0;
    RegPut(HKEY_CURRENT_USER, kRegKey, "Plain", "x");
    int deleted = DeleteRegValue(HKEY_CURRENT_USER, kRegKey, "Plain");
    int again = DeleteRegValue(HKEY_CURRENT_USER, kRegKey, "Plain");
    Is64BitWindows = 1;
    EXPECT_EQ(1, deleted);
    EXPECT_EQ(0, again);
    EXPECT_FALSE(RegHasValue(HKEY_CURRENT_USER, kRegKey, "Plain"));
    bodies = TraceBodies();
    ASSERT_EQ(4u, bodies.size());
    EXPECT_EQ("RegDeleteValue KEY_SET_VALUE TRUE: Plain", bodies[2]);
    EXPECT_EQ("RegDeleteValue FALSE: Plain", bodies[3]);
}

namespace {

// A three-level tree with values on every level, and a sibling that must survive.
void PutTree(HKEY root, const std::string &base, REGSAM view) {
    RegPut(root, base.c_str(), "Top", "1", view);
    RegPut(root, (base + "\\A").c_str(), "ValueA", "a", view);
    RegPut(root, (base + "\\A\\B").c_str(), "ValueB", "b", view);
    RegPut(root, (base + "\\A\\B\\C").c_str(), "ValueC", "c", view);
    RegPutDword(root, (base + "\\A\\B\\C").c_str(), "Number", 3, view);
    RegPut(root, (base + "\\D").c_str(), "ValueD", "d", view);
    RegPut(root, (base + "Keep").c_str(), "Stay", "s", view);
}

}  // namespace

TEST_F(BrackmoorTest, DeleteRegKeyTreeRemovesEveryLevel) {
    const REGSAM v32 = KEY_WOW64_32KEY, v64 = KEY_WOW64_64KEY;
    const struct {
        HKEY root;
        const char *path;      // as the caller hands it over
        REGSAM putView;        // where the tree is made
        REGSAM readMask;       // the caller's read mask
        int is64;
    } rows[] = {
        {HKEY_CURRENT_USER, "Software\\Dunmere Works\\TestTree", 0, KEY_READ, 1},
        {HKEY_CURRENT_USER, "Software\\Dunmere Works\\TestTree\\", 0, KEY_READ, 1},
        {HKEY_LOCAL_MACHINE, "Software\\Dunmere Works\\TestTree", v64, KEY_READ | v64, 1},
        // What a 32-bit process sees by default under HKLM\Software.
        {HKEY_LOCAL_MACHINE, "Software\\Dunmere Works\\TestTree", v32, KEY_READ | v32, 1},
        {HKEY_CURRENT_USER, "Software\\Dunmere Works\\TestTree", 0, KEY_READ, 0},
    };
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); i++) {
        std::string base = "Software\\Dunmere Works\\TestTree";
        PutTree(rows[i].root, base, rows[i].putView);
        ASSERT_TRUE(RegHasKey(rows[i].root, (base + "\\A\\B\\C").c_str(), rows[i].putView)) << "row " << i;

        char path[MAX_PATH];
        std::memset(path, kGuard, sizeof(path));
        CopyText(path, sizeof(path), rows[i].path);
        Is64BitWindows = rows[i].is64;
        RegReadAccess = rows[i].readMask;
        int result = DeleteRegKeyTree(rows[i].root, path);
        RegReadAccess = KEY_READ;
        Is64BitWindows = 1;

        EXPECT_EQ(1, result) << "row " << i;
        EXPECT_STREQ(rows[i].path, path) << "row " << i << ": the caller's path comes back unchanged";
        for (REGSAM view : {v32, v64}) {
            EXPECT_FALSE(RegHasKey(rows[i].root, base.c_str(), view)) << "row " << i << " view " << view;
            EXPECT_TRUE(RegHasValue(rows[i].root, (base + "Keep").c_str(), "Stay", rows[i].putView))
                << "row " << i;
        }
        RegDeleteTreeView(rows[i].root, (base + "Keep").c_str(), v32);
        RegDeleteTreeView(rows[i].root, (base + "Keep").c_str(), v64);
    }

    // An absent key counts as deleted; a leaf goes by the fast path.
    char missing[MAX_PATH];
    CopyText(missing, sizeof(missing), "Software\\Dunmere Works\\NoSuchTree");
    EXPECT_EQ(1, DeleteRegKeyTree(HKEY_CURRENT_USER, missing));
    char leaf[MAX_PATH];
    CopyText(leaf, sizeof(leaf), "Software\\Dunmere Works\\TestLeaf");
    RegPut(HKEY_CURRENT_USER, leaf, "V", "v");
    EXPECT_EQ(1, DeleteRegKeyTree(HKEY_CURRENT_USER, leaf));
    EXPECT_FALSE(RegHasKey(HKEY_CURRENT_USER, leaf));

    // The run-time lookup deletes in the view it is told, and reports a miss.
    RegPut(HKEY_LOCAL_MACHINE, "Software\\Dunmere Works\\TestLeaf32", "V", "v", v32);
    EXPECT_EQ(ERROR_FILE_NOT_FOUND,
              RegDeleteKeyExAtRunTime(HKEY_LOCAL_MACHINE, "Software\\Dunmere Works\\TestLeaf32", v64));
    EXPECT_TRUE(RegHasKey(HKEY_LOCAL_MACHINE, "Software\\Dunmere Works\\TestLeaf32", v32));
    EXPECT_EQ(ERROR_SUCCESS,
              RegDeleteKeyExAtRunTime(HKEY_LOCAL_MACHINE, "Software\\Dunmere Works\\TestLeaf32", v32));
    EXPECT_FALSE(RegHasKey(HKEY_LOCAL_MACHINE, "Software\\Dunmere Works\\TestLeaf32", v32));
}

TEST_F(BrackmoorTest, QueryOpenKeyReadsAndClosesTheKey) {
    RegPut(HKEY_CURRENT_USER, kRegKey, "Text", "abc");   // four bytes, like a DWORD
    RegPutDword(HKEY_CURRENT_USER, kRegKey, "Number", 0x12345678);
    RegPutDword(HKEY_CURRENT_USER, kRegKey, "ZeroNumber", 0);
    RegPut(HKEY_CURRENT_USER, kRegKey, "Expand", "%TEMP%", 0, REG_EXPAND_SZ);
    const DWORD kNone = 0xFFFFFFFE;
    const struct {
        const char *name;
        DWORD type;
        DWORD number;
        long numberOr;
    } rows[] = {
        {"Text", REG_SZ, 0, -1},
        {"Number", REG_DWORD, 0x12345678, 0x12345678},
        {"ZeroNumber", REG_DWORD, 0, 0},
        {"Expand", REG_EXPAND_SZ, 0, -1},
        {"Missing", 0, 0, -1},
    };
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); i++) {
        for (int op = 0; op < 3; op++) {
            HKEY key;
            ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, kRegKey, 0, KEY_READ, &key));
            DWORD got = kNone;
            long gotOr = 0;
            if (op == 0)
                got = QueryOpenKeyType(key, rows[i].name);
            else if (op == 1)
                got = QueryOpenKeyDWORD(key, rows[i].name);
            else
                gotOr = QueryOpenKeyDWORDOr(key, rows[i].name);
            if (op == 0)
                EXPECT_EQ(rows[i].type, got) << "row " << i;
            else if (op == 1)
                EXPECT_EQ(rows[i].number, got) << "row " << i;
            else
                EXPECT_EQ(rows[i].numberOr, gotOr) << "row " << i;
            // The handle is gone: closing it again fails.
            EXPECT_NE(ERROR_SUCCESS, RegCloseKey(key)) << "row " << i << " operation " << op;
        }
    }
}

namespace {

const char kAbsent[] = "\x01" "absent";

std::string WinIniLine(const char *key) {
    char buf[2048];
    GetProfileStringA("windows", key, kAbsent, buf, sizeof(buf));
    return buf;
}

std::string WinIniPath() {
    char dir[MAX_PATH];
    GetWindowsDirectoryA(dir, MAX_PATH);
    return std::string(dir) + "\\win.ini";
}

// The real win.ini "load" and "run" lines are put back after each test.
class WinIniTest : public BrackmoorTest {
protected:
    void SetUp() override {
        BrackmoorTest::SetUp();
        savedLoad = WinIniLine("load");
        savedRun = WinIniLine("run");
        savedAttributes = GetFileAttributesA(WinIniPath().c_str());
    }
    void TearDown() override {
        SetFileAttributesA(WinIniPath().c_str(), FILE_ATTRIBUTE_NORMAL);
        Restore("load", savedLoad);
        Restore("run", savedRun);
        if (savedAttributes != INVALID_FILE_ATTRIBUTES)
            SetFileAttributesA(WinIniPath().c_str(), savedAttributes);
        BrackmoorTest::TearDown();
    }
    static void Restore(const char *key, const std::string &line) {
        WriteProfileStringA("windows", key, line == kAbsent ? NULL : line.c_str());
    }
    std::string savedLoad, savedRun;
    DWORD savedAttributes = INVALID_FILE_ATTRIBUTES;
};

}  // namespace

TEST_F(WinIniTest, LoadAndRunListsKeepEveryOtherEntry) {
    std::string long500(500, 'a');
    std::string long600(600, 'b');
    const struct {
        const char *key;
        std::string before;
        bool add;
        const char *item;
        std::string after;
    } rows[] = {
        // Both copies go, whatever their case; the longer name that begins with the item stays.
        {"load", "a.exe;C:\\X\\TOOL.EXE;c:\\x\\tool.exe;C:\\x\\toolbar.exe", false, "C:\\X\\Tool.exe",
         "a.exe;C:\\x\\toolbar.exe;"},
        {"load", "C:\\X\\TOOL.EXE;c:\\x\\tool.exe;C:\\x\\toolbar.exe", false, "c:\\x\\tool.exe",
         "C:\\x\\toolbar.exe;"},
        {"run", "C:\\x\\tool.ex", false, "C:\\x\\tool.exe", "C:\\x\\tool.ex;"},
        // Only the whole entry: not one that contains the item, nor one that begins with it.
        {"load", "C:\\x\\tool.exe;tool.exe;TOOL.EXE;tool.exe2;tool.exe -min", false, "tool.exe",
         "C:\\x\\tool.exe;tool.exe2;tool.exe -min;"},
        {"run", "tool.exe", false, "TOOL.EXE", ""},
        {"load", "", false, "x.exe", ""},
        {"load", "a.exe;;b.exe;", false, "b.exe", "a.exe;"},
        {"load", "", true, "C:\\x\\tool.exe", ";C:\\x\\tool.exe"},
        {"run", "a.exe", true, "b.exe", "a.exe;b.exe"},
        {"run", "a.exe;", true, "b.exe", "a.exe;;b.exe"},
        // The separator always goes on; the item only while the line stays under 1024.
        {"load", long500, true, long600.c_str(), long500 + ";"},
    };
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); i++) {
        ASSERT_TRUE(WriteProfileStringA("windows", rows[i].key, rows[i].before.c_str())) << "row " << i;
        ASSERT_EQ(rows[i].before, WinIniLine(rows[i].key)) << "row " << i;
        if (rows[i].add)
            AddToWinIniList(rows[i].key, rows[i].item);
        else
            RemoveFromWinIniList(rows[i].key, rows[i].item);
        EXPECT_EQ(rows[i].after, WinIniLine(rows[i].key)) << "row " << i;
    }
}

TEST_F(WinIniTest, ReadOnlyWinIniIsMadeWritable) {
    ASSERT_TRUE(WriteProfileStringA("windows", "load", "first.exe"));
    std::string ini = WinIniPath();
    DWORD attributes = GetFileAttributesA(ini.c_str());
    ASSERT_NE(INVALID_FILE_ATTRIBUTES, attributes);
    ASSERT_TRUE(SetFileAttributesA(ini.c_str(), attributes | FILE_ATTRIBUTE_READONLY));
    AddToWinIniList("load", "second.exe");
    EXPECT_EQ(0u, GetFileAttributesA(ini.c_str()) & FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ("first.exe;second.exe", WinIniLine("load"));

    ASSERT_TRUE(SetFileAttributesA(ini.c_str(), attributes | FILE_ATTRIBUTE_READONLY));
    RemoveFromWinIniList("load", "first.exe");
    EXPECT_EQ(0u, GetFileAttributesA(ini.c_str()) & FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ("second.exe;", WinIniLine("load"));
}

namespace {

// A version resource built by hand (the 32-bit layout with UTF-16 texts), so a
// test file can carry exactly the strings a case needs.
void Pad4(std::string &s) {
    while (s.size() % 4)
        s.push_back('\0');
}

std::string Utf16(const std::string &text) {
    std::string w;
    for (char c : text) {
        w.push_back(c);
        w.push_back('\0');
    }
    w.append(2, '\0');
    return w;
}

std::string VerNode(const std::string &key, const std::string &value, WORD valueLength, WORD type,
                    const std::vector<std::string> &children) {
    std::string n(6, '\0');
    n += Utf16(key);
    Pad4(n);
    n += value;
    for (const std::string &child : children) {
        Pad4(n);
        n += child;
    }
    WORD length = (WORD)n.size();
    std::memcpy(&n[0], &length, 2);
    std::memcpy(&n[2], &valueLength, 2);
    std::memcpy(&n[4], &type, 2);
    return n;
}

struct VerTable {
    WORD language, codePage;
    std::vector<std::pair<std::string, std::string>> strings;
};

std::string VersionResource(const std::vector<VerTable> &tables) {
    VS_FIXEDFILEINFO fixed = {};
    fixed.dwSignature = 0xFEEF04BD;
    fixed.dwStrucVersion = 0x00010000;
    fixed.dwFileVersionMS = 0x00010002;
    fixed.dwFileOS = VOS_NT_WINDOWS32;
    fixed.dwFileType = VFT_APP;
    std::vector<std::string> stringTables;
    std::string translations;
    for (const VerTable &t : tables) {
        std::vector<std::string> strings;
        for (const auto &s : t.strings) {
            std::string text = Utf16(s.second);
            strings.push_back(VerNode(s.first, text, (WORD)(text.size() / 2), 1, {}));
        }
        char id[16];
        FormatText(id, sizeof(id), "%04x%04x", t.language, t.codePage);
        stringTables.push_back(VerNode(id, "", 0, 1, strings));
        translations.append((const char *)&t.language, 2);
        translations.append((const char *)&t.codePage, 2);
    }
    std::string fileInfo = VerNode("StringFileInfo", "", 0, 1, stringTables);
    std::string var = VerNode("Translation", translations, (WORD)translations.size(), 0, {});
    std::string varInfo = VerNode("VarFileInfo", "", 0, 1, {var});
    return VerNode("VS_VERSION_INFO", std::string((const char *)&fixed, sizeof(fixed)),
                   sizeof(fixed), 0, {fileInfo, varInfo});
}

// A copy of this test program whose version record is replaced.
std::string MakeVersionedFile(const std::string &folder, const char *name,
                              const std::string &resource) {
    char self[MAX_PATH];
    GetModuleFileNameA(NULL, self, MAX_PATH);
    std::string target = folder + "\\" + name;
    EXPECT_TRUE(CopyFileA(self, target.c_str(), FALSE)) << target;
    HANDLE update = BeginUpdateResourceA(target.c_str(), FALSE);
    EXPECT_NE((HANDLE)NULL, update) << target;
    if (update) {
        EXPECT_TRUE(UpdateResourceA(update, RT_VERSION, MAKEINTRESOURCEA(VS_VERSION_INFO),
                                    MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US),
                                    (void *)resource.data(), (DWORD)resource.size()));
        EXPECT_TRUE(EndUpdateResourceA(update, FALSE));
    }
    return target;
}

// Each field starts out as garbage without a NUL, so an untouched field shows.
void Scribble(VersionRecord *rec) {
    std::memset(rec, kGuard, sizeof(*rec));
}

std::vector<std::string> Fields(const VersionRecord &rec) {
    auto field = [](const char *f) {
        const void *nul = std::memchr(f, '\0', VERSION_FIELD_MAX);
        return nul ? std::string(f) : std::string("<unterminated>");
    };
    return {field(rec.ProductName), field(rec.ProductVersion), field(rec.CompanyName),
            field(rec.FileDescription), field(rec.LegalCopyright)};
}

std::string ProgramFilesFolder() {
    char folder[MAX_PATH] = "";
    GetEnvironmentVariableA("ProgramFiles", folder, MAX_PATH);
    return folder;
}

class VersionTest : public BrackmoorTest {
protected:
    void SetUp() override {
        BrackmoorTest::SetUp();
        vendorFolder = ProgramFilesFolder() + "\\Dunmere Vendor Test";
        rec = (VersionRecord *)HeapAlloc(GetProcessHeap(), 0, sizeof(VersionRecord));
    }
    void TearDown() override {
        RemoveTree(vendorFolder);
        HeapFree(GetProcessHeap(), 0, rec);
        BrackmoorTest::TearDown();
    }
    std::string vendorFolder;
    VersionRecord *rec = nullptr;
};

}  // namespace

TEST_F(VersionTest, ReadsTheVersionStringsOfRealFiles) {
    // This program carries the monitor's own version record.
    char self[MAX_PATH];
    GetModuleFileNameA(NULL, self, MAX_PATH);
    Scribble(rec);
    EXPECT_EQ(1, GetVersionInfo(self, rec));
    std::vector<std::string> own = Fields(*rec);
    const std::vector<std::string> expected = {
        "Brackmoor", "33.1.2015.0", "Dunmere Works", "Brackmoor",
        "Copyright (C) Dunmere Works. All rights reserved."};
    EXPECT_EQ(expected, own);

    char system[MAX_PATH];
    GetSystemDirectoryA(system, MAX_PATH);
    std::string kernel = std::string(system) + "\\kernel32.dll";
    Scribble(rec);
    EXPECT_EQ(1, GetVersionInfo(kernel.c_str(), rec)) << kernel;
    std::vector<std::string> k = Fields(*rec);
    EXPECT_FALSE(k[0].empty());
    EXPECT_FALSE(k[1].empty());
    EXPECT_EQ(std::string::npos, k[0].find("Operating System")) << k[0];
    for (size_t i = 0; i < k.size(); i++)
        EXPECT_LE(k[i].size(), 127u) << "field " << i;

    // No version record, or no file: nothing at all, not even the vendor.
    CreateDirectoryA(vendorFolder.c_str(), NULL);
    std::string plain = vendorFolder + "\\notes.txt";
    WriteWholeFile(plain, "no version record here");
    std::string missing = TempFolder() + "\\missing.exe";
    const std::string noInfo[] = {plain, missing};
    for (size_t i = 0; i < 2; i++) {
        Scribble(rec);
        EXPECT_EQ(0, GetVersionInfo(noInfo[i].c_str(), rec)) << "row " << i;
        EXPECT_EQ(std::vector<std::string>(5, ""), Fields(*rec)) << "row " << i;
    }
}

TEST_F(VersionTest, VersionRulesForBuiltRecords) {
    ASSERT_TRUE(CreateDirectoryA(vendorFolder.c_str(), NULL) ||
                GetLastError() == ERROR_ALREADY_EXISTS);
    std::string name127(127, 'n'), name128(128, 'n');
    const struct {
        const char *file;
        bool underProgramFiles;
        std::vector<VerTable> tables;
        int result;
        std::vector<std::string> fields;
    } rows[] = {
        // Without a company, the folder below Program Files names the vendor.
        {"novendor.exe", true, {{0x409, 1200, {{"ProductName", "Tool"}, {"ProductVersion", "1.2"}}}}, 1,
         {"Tool", "1.2", "Dunmere Vendor Test", "", ""}},
        {"novendor.exe", false, {{0x409, 1200, {{"ProductName", "Tool"}}}}, 1, {"Tool", "", "", "", ""}},
        // A system file names the whole system; its description is taken instead.
        {"system.exe", false,
         {{0x409, 1200,
           {{"ProductName", "Dunmere(R) Windows(R) operating system"}, {"FileDescription", "Shell Helper"},
            {"CompanyName", "Maker"}}}},
         1, {"Shell Helper", "", "Maker", "Shell Helper", ""}},
        // Every translation is read; the last one decides.
        {"twolang.exe", false,
         {{0x409, 1252, {{"ProductName", "English"}, {"CompanyName", "Maker"}}},
          {0x407, 1252, {{"ProductName", "Deutsch"}, {"LegalCopyright", "(C)"}}}},
         1, {"Deutsch", "", "", "", "(C)"}},
        // A value over 127 characters counts as missing.
        {"long127.exe", false, {{0x409, 1200, {{"ProductName", name127}, {"CompanyName", name128}}}}, 1,
         {name127, "", "", "", ""}},
        {"long128.exe", false, {{0x409, 1200, {{"ProductName", name128}, {"CompanyName", "Maker"}}}}, 0,
         {"", "", "Maker", "", ""}},
    };
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); i++) {
        std::string folder = rows[i].underProgramFiles ? vendorFolder : TempFolder();
        std::string file =
            MakeVersionedFile(folder, rows[i].file, VersionResource(rows[i].tables));
        Scribble(rec);
        EXPECT_EQ(rows[i].result, GetVersionInfo(file.c_str(), rec)) << "row " << i;
        EXPECT_EQ(rows[i].fields, Fields(*rec)) << "row " << i;
        DeleteFileA(file.c_str());
    }
}

TEST_F(VersionTest, OversizedVersionRecordIsRefusedAndTraced) {
    TraceToTempFolder();
    std::string filler(5000, 'f');
    std::string file = MakeVersionedFile(
        TempFolder(), "huge.exe",
        VersionResource({{0x409, 1200, {{"ProductName", "Huge"}, {"Comments", filler}}}}));
    DWORD handle = 0;
    ASSERT_GE(GetFileVersionInfoSizeA(file.c_str(), &handle), 8192u);
    Scribble(rec);
    EXPECT_EQ(0, GetVersionInfo(file.c_str(), rec));
    EXPECT_EQ(std::vector<std::string>(5, ""), Fields(*rec));
    std::vector<std::string> bodies = TraceBodies();
    ASSERT_EQ(1u, bodies.size());
    EXPECT_EQ(0u, bodies[0].find("MyError:  GetVersionInfoEx GetFileVersionInfoSize: ")) << bodies[0];
}

namespace {

const char kAppPaths[] = "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths";
const char kPointKey[] = "Software\\Microsoft\\IntelliPoint";
const char kTypeKey[] = "Software\\Microsoft\\IntelliType Pro";

// App Paths entries and the two AppSpecific keys are the system's, not ours:
// the test removes exactly what it made.
class AppPathTest : public BrackmoorTest {
protected:
    void SetUp() override {
        BrackmoorTest::SetUp();
        hadPoint = RegHasKey(HKEY_CURRENT_USER, kPointKey);
        hadType = RegHasKey(HKEY_CURRENT_USER, kTypeKey);
    }
    void TearDown() override {
        for (const char *exe : {"dunmere_apppath.exe", "dunmere_point.exe", "dunmere_type.exe",
                                "dunmere_gone.exe"}) {
            std::string key = std::string(kAppPaths) + "\\" + exe;
            RegDeleteTreeView(HKEY_LOCAL_MACHINE, key.c_str(), KEY_WOW64_64KEY);
            RegDeleteTreeView(HKEY_LOCAL_MACHINE, key.c_str(), KEY_WOW64_32KEY);
            RegDeleteTreeView(HKEY_CURRENT_USER, (std::string(kPointKey) + "\\AppSpecific\\" + exe).c_str());
            RegDeleteTreeView(HKEY_CURRENT_USER, (std::string(kTypeKey) + "\\AppSpecific\\" + exe).c_str());
        }
        if (!hadPoint)
            RegDeleteTreeView(HKEY_CURRENT_USER, kPointKey);
        if (!hadType)
            RegDeleteTreeView(HKEY_CURRENT_USER, kTypeKey);
        BrackmoorTest::TearDown();
    }
    bool hadPoint = false, hadType = false;
};

}  // namespace

TEST_F(AppPathTest, FindAppPathLooksInThreePlacesInOrder) {
    char self[MAX_PATH];
    GetModuleFileNameA(NULL, self, MAX_PATH);
    std::string gone = TempFolder() + "\\gone.exe";
    RegPut(HKEY_LOCAL_MACHINE, (std::string(kAppPaths) + "\\dunmere_apppath.exe").c_str(), "", self);
    RegPut(HKEY_CURRENT_USER, (std::string(kPointKey) + "\\AppSpecific\\dunmere_point.exe").c_str(),
           "Path", self);
    RegPut(HKEY_CURRENT_USER, (std::string(kTypeKey) + "\\AppSpecific\\dunmere_type.exe").c_str(),
           "Path", self);
    RegPut(HKEY_LOCAL_MACHINE, (std::string(kAppPaths) + "\\dunmere_gone.exe").c_str(), "",
           gone.c_str());
    // The first place wins even when a later one also names the program.
    RegPut(HKEY_CURRENT_USER, (std::string(kPointKey) + "\\AppSpecific\\dunmere_gone.exe").c_str(),
           "Path", self);
    std::string longName(260, 'x');
    const struct {
        std::string exe;
        int result;
        const char *version;
    } rows[] = {
        {"dunmere_apppath.exe", 1, "33.1.2015.0"},
        {"DUNMERE_APPPATH.EXE", 1, "33.1.2015.0"},
        {"dunmere_point.exe", 1, "33.1.2015.0"},
        {"dunmere_type.exe", 1, "33.1.2015.0"},
        {"dunmere_gone.exe", 0, ""},
        {"dunmere_nowhere.exe", 0, ""},
        {longName, 0, ""},
    };
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); i++) {
        char version[VERSION_FIELD_MAX + 8];
        std::memset(version, kGuard, sizeof(version));
        EXPECT_EQ(rows[i].result, FindAppPath(rows[i].exe.c_str(), version)) << "row " << i;
        EXPECT_STREQ(rows[i].version, version) << "row " << i;
        for (size_t g = VERSION_FIELD_MAX; g < sizeof(version); g++)
            EXPECT_EQ(kGuard, version[g]) << "row " << i;
    }
}
