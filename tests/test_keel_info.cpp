// Online file information: the request addresses against what the test knows of the file
// by its own means; the browser is replaced by a recorder, so nothing is ever opened.
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "support/system_state.h"
#include "support/test_env.h"

#include "common/tracelog.h"
#include "common/appstate.h"
#include "common/options.h"
#include "online/keel_info.h"

namespace {

const std::string kBase = "https://keel.dunmere.example";
const char kShort[] = "/cgi-bin/keelinfo.pl", kExtended[] = "/cgi-bin/keelinfo12.pl";

struct Opened {
    std::string target;
    int shortcut;          // what the caller said the target is
    std::string content;   // the target file's text at the time of the call
};
std::vector<Opened> gOpened;
std::vector<std::string> gStarted;
INT_PTR gOpenAnswer = 42;

// The query encoding of the characters these tests use, written out independently.
std::string Encoded(const std::string &text) {
    std::string out;
    for (char c : text)
        out += c == ' ' ? "%20" : c == '&' ? "%26" : c == '\\' ? "%5C" : std::string(1, c);
    return out;
}

// The value of one key of an address as sent; "<missing>" when it has none.
std::string Value(const std::string &address, const std::string &key) {
    const std::string query = "&" + address.substr(address.find('?') + 1);
    size_t at = query.find("&" + key + "="), from = at + key.size() + 2;
    return at == std::string::npos ? "<missing>" : query.substr(from, query.find('&', from) - from);
}

std::string Build(const char *name, const std::string &command, int code, int extended) {
    char out[KEEL_ADDRESS_MAX];
    BuildKeelAddress(name, command.c_str(), code, extended, out, sizeof(out));
    return out;
}

class KeelInfoTest : public BrackmoorTest {
protected:
    void SetUp() override {
        BrackmoorTest::SetUp();
        gOpened.clear();
        gStarted.clear();
        gOpenAnswer = 42;
        KeelOpener = [](const char *target, int shortcut) {
            gOpened.push_back({target, shortcut, ReadWholeFile(target)});
            if (gOpenAnswer <= 32)
                SetLastError(ERROR_FILE_NOT_FOUND);   // as a failing ShellExecuteA leaves it
            return gOpenAnswer;
        };
        KeelBrowserStarter = [](const char *commandLine) -> UINT {
            gStarted.push_back(commandLine);
            return 33;
        };
    }
    void TearDown() override {
        KeelOpener = KeelOpenWithShell;
        KeelBrowserStarter = KeelStartWithWinExec;
        BrackmoorTest::TearDown();
    }
    // A file of the test's own folder; text only, so no version information.
    std::string MakeFile(const std::string &relative, const std::string &text = "not a program\r\n") {
        std::string path = TempFolder() + "\\" + relative;
        WriteWholeFile(path, text);
        return path;
    }
};

TEST_F(KeelInfoTest, RequestsCarryTheKeysInOrderEncoded) {
    // The monitor's own program carries version information, with blanks in it.
    const std::string vendor = "Dunmere%20Works", version = "33.1.2015.0",
                      texts = "&name=Brackmoor&copy=Copyright%20(C)%20Dunmere%20Works.%20All%20rights%20reserved."
                              "&detail=Brackmoor";
    // The extension is the text after the last dot of the file name.
    const struct { std::string file; const char *ext; bool versioned; } rows[] = {
        {MakeFile("Tool Box.exe"), "EXE", false},      {MakeFile("Archive.tar.dll"), "DLL", false},
        {MakeFile("README"), "", false},               {MakeFile("my.folder\\LICENSE"), "", false},
        {BinFolder() + "\\brackmoor.exe", "EXE", true},
    };
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); i++) {
        const std::string v = rows[i].versioned ? vendor : "", r = rows[i].versioned ? version : "";
        // Quoted and with arguments, as a Run value holds it; a file without a program
        // extension is named by the whole command line, so it goes without.
        const std::string command = rows[i].ext[0] ? "\"" + rows[i].file + "\" /A & more" : rows[i].file;
        EXPECT_EQ(kBase + kShort + "?program=Tool%20%26%20Box%20Helper&vendor=" + v + "&version=" + r +
                      "&build=33.1.2015.0&Type=1234&Loc=en&ext=" + rows[i].ext,
                  Build("Tool & Box Helper", command, 1234, 0))
            << "row " << i;

        const std::string ex = Build("Tool & Box Helper", command, 1234, 1);
        const std::string head = kBase + kExtended + "?program=Tool%20%26%20Box%20Helper&vendor=" + v +
                                 "&build=33.1.2015.0&Type=1234&Loc=us&ext=" + rows[i].ext + "&version=" + r +
                                 (rows[i].versioned ? texts : "&name=&copy=&detail=") + "&created=";
        EXPECT_EQ(head, ex.substr(0, head.size())) << "row " << i;
        WIN32_FILE_ATTRIBUTE_DATA data;
        ASSERT_TRUE(GetFileAttributesExA(rows[i].file.c_str(), GetFileExInfoStandard, &data)) << "row " << i;
        EXPECT_EQ("&detected=&fsize=" + std::to_string(data.nFileSizeLow) + "&path=" + Encoded(Upper(rows[i].file)),
                  ex.substr(std::min(ex.size(), ex.find("&detected="))))
            << "row " << i;
    }
}

TEST_F(KeelInfoTest, ServerAndLocationOfTheRequest) {
    std::string file = MakeFile("where.exe");
    // The short request names the interface language, the extended one what the string table says.
    const struct { WORD language; const char *translation, *shortLoc, *extendedLoc; } rows[] = {
        {9, nullptr, "en", "us"}, {9, "xx", "en", "us"}, {7, nullptr, "de", "us"}, {7, "de", "de", "de"},
                {12, "fr", "fr", "fr"},   {1031, nullptr, "en", "us"}};
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); i++) {
        RegRemoveValue(HKEY_CURRENT_USER, BRACKMOOR_KEY, "LString634");   // the translated text of string 634
        if (rows[i].translation)
            RegPut(HKEY_CURRENT_USER, BRACKMOOR_KEY, "LString634", rows[i].translation);
        UILanguage = rows[i].language;
        EXPECT_EQ(rows[i].shortLoc, Value(Build("x", file, 1, 0), "Loc")) << "row " << i;
        EXPECT_EQ(rows[i].extendedLoc, Value(Build("x", file, 1, 1), "Loc")) << "row " << i;
    }

    // The configured server replaces the default host.
    const struct { const char *value; std::string base; } servers[] = {   // value nullptr: not set
        {nullptr, kBase}, {"https://info.example.org", "https://info.example.org"},
        {"http://10.1.2.3:8080/", "http://10.1.2.3:8080"},   // the page brings its own "/"
        {"HTTPS://Upper.Example.NET//", "HTTPS://Upper.Example.NET"},
        {"", kBase}, {"calc.exe", kBase}, {"ftp://files.example.org", kBase}, {"https://", kBase},   // no host
    };
    for (size_t i = 0; i < sizeof(servers) / sizeof(servers[0]); i++) {
        RegRemoveValue(HKEY_CURRENT_USER, BRACKMOOR_KEY, KEEL_SERVER_VALUE);
        if (servers[i].value)
            RegPut(HKEY_CURRENT_USER, BRACKMOOR_KEY, KEEL_SERVER_VALUE, servers[i].value);
        EXPECT_EQ(0u, Build("x", file, 1, 0).find(servers[i].base + kShort + "?program=x&")) << "server " << i;
        EXPECT_EQ(0u, Build("x", file, 1, 1).find(servers[i].base + kExtended + "?program=x&")) << "server " << i;
    }
}

TEST_F(KeelInfoTest, AddressStaysWithinItsBoundAndEndsOnAWholeEscape) {
    std::string file = MakeFile("bound.exe"), longName;
    while (longName.size() < 900)
        longName += "a b&";   // every blank grows to three characters
    const size_t caps[] = {KEEL_ADDRESS_MAX, 4096, 200, 61};
    for (size_t i = 0; i < 4 * 2; i++) {
        size_t cap = caps[i / 2], longest = std::min<size_t>(cap, KEEL_ADDRESS_MAX) - 1;
        std::vector<char> buffer(cap + 64, 0x5A);   // guard bytes after the capacity
        int len = BuildKeelAddress(longName.c_str(), file.c_str(), 1, i % 2, buffer.data(), cap);
        std::string text(buffer.data());
        EXPECT_EQ(text.size(), (size_t)len) << "row " << i;
        // At most the two characters of a dropped partial escape are missing; no partial escape stays.
        EXPECT_TRUE(text.size() <= longest && text.size() + 2 >= longest) << "row " << i << ": " << text.size();
        for (size_t g = longest + 1; g < buffer.size(); g++)
            ASSERT_EQ(0x5A, buffer[g]) << "row " << i << " byte " << g;
        for (size_t p = text.find('%'); p != std::string::npos; p = text.find('%', p + 1))
            EXPECT_LT(p + 2, text.size()) << "row " << i << ": at " << p;
        EXPECT_TRUE(cap < 200 || text.find(kBase + (i % 2 ? kExtended : kShort) + "?program=a%20b%26a%20b%26") == 0) << i;
    }
}

TEST_F(KeelInfoTest, LookupsOpenExactlyTheShortAddressThroughTheOpener) {
    const std::string exe = MakeFile("Open Me.exe"), dll = MakeFile("Helper Lib.dll");
    // Without a name from the alert, the file name speaks for the item.
    EXPECT_EQ(1, GetKeelInfo("", exe.c_str(), 700));
    ASSERT_EQ(1u, gOpened.size());
    EXPECT_EQ(kBase + kShort + "?program=OPEN%20ME.EXE&vendor=&version=&build=33.1.2015.0&Type=700&Loc=en&ext=EXE",
              gOpened[0].target);
    EXPECT_EQ(0, gOpened[0].shortcut);
    // The command-line job keeps the file name as the command line spells it.
    const struct { std::string commandLine; int code; std::string start; } rows[] = {
        {"\"" + exe + "\"", KEEL_CODE_EXE, "?program=Open%20Me.exe&vendor=&version=&build=33.1.2015.0&Type=460&"},
        {dll, KEEL_CODE_DLL, "?program=Helper%20Lib.dll&vendor=&version=&build=33.1.2015.0&Type=470&"},
        {"", 0, ""}, {"\"\"", 0, ""}};
    for (size_t i = 0; i < 4; i++) {
        gOpened.clear();
        EXPECT_EQ(rows[i].code ? 1 : 0, KeelLookupFromCommandLine(rows[i].commandLine.c_str(), rows[i].code)) << i;
        ASSERT_EQ(rows[i].code ? 1u : 0u, gOpened.size()) << "row " << i;
        EXPECT_TRUE(!rows[i].code || gOpened[0].target.find(kBase + kShort + rows[i].start) == 0) << "row " << i;
    }
    EXPECT_TRUE(gStarted.empty());
}

TEST_F(KeelInfoTest, ExtendedRequestGoesThroughAShortcutThatIsGoneAfterwards) {
    TraceToTempFile();
    std::string file = MakeFile("Big Tool.exe", std::string(1234, 'x'));
    RegPut(HKEY_CURRENT_USER, "Software\\Dunmere Works\\Detected\\Startup", Upper(file).c_str(), "07/14/2023 09:30");
    PutOption("KeelFormat", "1");

    ASSERT_EQ(1, GetKeelInfo("Big Tool", file.c_str(), 11));
    std::string shortcut = DataFolder() + "\\temp.url";
    ASSERT_EQ(1u, gOpened.size());
    EXPECT_EQ(0, lstrcmpiA(shortcut.c_str(), gOpened[0].target.c_str())) << gOpened[0].target;
    EXPECT_EQ(1, gOpened[0].shortcut);
    EXPECT_FALSE(PathExists(shortcut)) << "the shortcut was left behind";
    std::string address = Build("Big Tool", file, 11, 1);
    EXPECT_EQ("[InternetShortcut]\r\nURL=" + address + "\r\n", gOpened[0].content);
    EXPECT_EQ(0u, address.find(kBase + kExtended + "?program=Big%20Tool&")) << address;
    EXPECT_EQ("1234", Value(address, "fsize"));
    EXPECT_EQ("07/14/2023%2009:30", Value(address, "detected"));
    // The creation time in the user's format; the blank between date and time is encoded.
    std::string created = Value(address, "created");
    EXPECT_TRUE(created.size() > 10 && created.find(' ') == std::string::npos) << created;
    EXPECT_NE(std::string::npos, created.find("%20")) << created;

    // A folder of the shortcut's name: no shortcut, the address itself is opened.
    ASSERT_TRUE(CreateDirectoryA(shortcut.c_str(), NULL));
    gOpened.clear();
    EXPECT_EQ(1, GetKeelInfoEx("Big Tool", file.c_str(), 11));
    ASSERT_EQ(1u, gOpened.size());
    EXPECT_EQ(address, gOpened[0].target);
    EXPECT_EQ(0, gOpened[0].shortcut);
    EXPECT_TRUE(TraceHas("GetKeelInfoEx CreateInternetShortcut ---"));
    DWORD attributes = GetFileAttributesA(shortcut.c_str());
    EXPECT_TRUE(attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) << "not ours";
}

TEST_F(KeelInfoTest, FailedOpenFallsBackToInternetExplorerByTheOptions) {
    std::string ie =
        RegText(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\IEXPLORE.EXE", "Path");
    if (ie.empty())
        GTEST_SKIP() << "no Internet Explorer path on this system";
    ie = ie.substr(0, ie.find_last_not_of(';') + 1) + "\\iexplore.exe";
    TraceToTempFile();
    std::string file = MakeFile("fallback.exe");
    gOpenAnswer = 2;
    // The short request always tries Internet Explorer, the extended one only when the user asked for it.
    const struct { const char *keelFormat, *browserFailure; int result; } rows[] = {
        {"0", "0", 1}, {"1", "0", 0}, {"1", "1", 1}};
    for (size_t i = 0; i < 3; i++) {
        gOpened.clear();
        gStarted.clear();
        PutOption("KeelFormat", rows[i].keelFormat);
        PutOption("BrowserFailure", rows[i].browserFailure);
        EXPECT_EQ(rows[i].result, GetKeelInfo("fb", file.c_str(), 11)) << "row " << i;
        EXPECT_EQ(1u, gOpened.size()) << "row " << i;
        std::string command = "\"" + ie + "\" " + Build("fb", file, 11, rows[i].keelFormat[0] == '1');
        EXPECT_EQ(rows[i].result ? std::vector<std::string>{command} : std::vector<std::string>{}, gStarted) << i;
    }
    // The failed short open is traced under its address.
    EXPECT_TRUE(TraceHas("GetKeelInfo " + Build("fb", file, 11, 0)));
}

TEST_F(KeelInfoTest, DefaultOpenerAnswersFailureForAMissingFile) {
    // The real shell on a file that is not there: nothing starts, the answer is a failure.
    std::string missing = TempFolder() + "\\not-here\\missing.url";
    for (int shortcut = 0; shortcut <= 1; shortcut++)
        EXPECT_LE(KeelOpenWithShell(missing.c_str(), shortcut), 32) << "shortcut " << shortcut;
}

// While the shell's handler of the shortcut is awaited, this thread's messages go
// on (an alert and the main window's timer live on it): here a timer of the
// thread ends the handler, a copy of this program that only waits.
TEST_F(KeelInfoTest, TheHandlerIsAwaitedWithTheThreadsMessagesGoingOn) {
    static int ticks;
    ticks = 0;
    std::string handler = TempFolder() + "\\bmhandler.exe";
    ASSERT_TRUE(CopyFileA(ThisProgram().c_str(), handler.c_str(), FALSE));
    UINT_PTR timer = SetTimer(NULL, 0, 50, [](HWND, UINT, UINT_PTR, DWORD) {
        if (ticks++ == 0)
            KillProgramsNamed("bmhandler.exe");
    });
    SetEnvironmentVariableA(kSleeperVariable, "1");
    INT_PTR result = KeelOpenWithShell(handler.c_str(), 1);
    SetEnvironmentVariableA(kSleeperVariable, NULL);
    int during = ticks;
    KillTimer(NULL, timer);
    KillProgramsNamed("bmhandler.exe");
    EXPECT_GT(result, 32);
    EXPECT_GT(during, 0) << "the timer ran while the handler was awaited";
}

}  // namespace
