// Online file information: the request addresses are taken apart here key by
// key and compared with what the test knows of the file by its own means (the
// version resource read directly, the file it wrote, the registry values it set).
// The browser is replaced by a recorder, so nothing is ever opened.
#include <windows.h>
#include <string.h>

#include <string>
#include <utility>
#include <vector>

#include "support/test_env.h"

#include "common/text.h"
#include "common/tracelog.h"
#include "monitor/appstate.h"
#include "monitor/options.h"
#include "online/keel_info.h"

namespace {

const char kDefaultBase[] = "https://keel.dunmere.example";
const char kShortPage[] = "/cgi-bin/keelinfo.pl";
const char kExtendedPage[] = "/cgi-bin/keelinfo12.pl";
const char kDetectedStartup[] = "Software\\Dunmere Works\\Detected\\Startup";

struct Opened {
    std::string target;
    int shortcut;          // what the caller said the target is
    bool existed;          // the target was a file present at the time of the call
    std::string content;   // and this was in it
};

std::vector<Opened> gOpened;
std::vector<std::string> gStarted;
INT_PTR gOpenAnswer = 42;
UINT gStartAnswer = 33;

INT_PTR RecordOpen(const char *target, int shortcut)
{
    Opened o;
    o.target = target ? target : "";
    o.shortcut = shortcut;
    o.existed = PathExists(o.target) && !(GetFileAttributesA(o.target.c_str()) & FILE_ATTRIBUTE_DIRECTORY);
    if (o.existed)
        o.content = ReadWholeFile(o.target);
    gOpened.push_back(o);
    // A failing shell sets the last error like ShellExecuteA does.
    if (gOpenAnswer <= 32)
        SetLastError(ERROR_FILE_NOT_FOUND);
    return gOpenAnswer;
}

UINT RecordStart(const char *commandLine)
{
    gStarted.push_back(commandLine ? commandLine : "");
    return gStartAnswer;
}

// The query encoding written out independently: blank as "%20", "&" as "+".
std::string Encoded(const std::string &text)
{
    std::string out;
    for (char c : text) {
        if (c == ' ')
            out += "%20";
        else if (c == '&')
            out += '+';
        else
            out += c;
    }
    return out;
}

std::string Upper(std::string text)
{
    if (!text.empty())
        CharUpperBuffA(&text[0], (DWORD)text.size());
    return text;
}

struct Address {
    std::string base;                                       // server and page
    std::vector<std::pair<std::string, std::string>> keys;  // in order, values as sent
    std::string Value(const std::string &key) const
    {
        for (const auto &k : keys)
            if (k.first == key)
                return k.second;
        return "<missing " + key + ">";
    }
    std::vector<std::string> Names() const
    {
        std::vector<std::string> names;
        for (const auto &k : keys)
            names.push_back(k.first);
        return names;
    }
};

// Encoded values hold neither "&" nor blanks, so the address splits cleanly.
Address Parse(const std::string &address)
{
    Address a;
    size_t q = address.find('?');
    a.base = address.substr(0, q);
    if (q == std::string::npos)
        return a;
    size_t pos = q + 1;
    while (pos <= address.size()) {
        size_t end = address.find('&', pos);
        if (end == std::string::npos)
            end = address.size();
        std::string part = address.substr(pos, end - pos);
        size_t eq = part.find('=');
        a.keys.emplace_back(part.substr(0, eq), eq == std::string::npos ? "" : part.substr(eq + 1));
        pos = end + 1;
    }
    return a;
}

std::string Build(const char *name, const std::string &command, int code, int extended)
{
    char out[KEEL_ADDRESS_MAX];
    BuildKeelAddress(name, command.c_str(), code, extended, out, sizeof(out));
    return out;
}

// A version string read straight from the resource, first translation.
std::string ResourceVersionText(const std::string &path, const char *field)
{
    DWORD handle = 0;
    DWORD size = GetFileVersionInfoSizeA(path.c_str(), &handle);
    if (!size)
        return std::string();
    std::vector<char> block(size);
    if (!GetFileVersionInfoA(path.c_str(), 0, size, block.data()))
        return std::string();
    WORD *tr = nullptr;
    UINT bytes = 0;
    if (!VerQueryValueA(block.data(), "\\VarFileInfo\\Translation", (void **)&tr, &bytes) || bytes < 4)
        return std::string();
    char query[128];
    FormatText(query, sizeof(query), "\\StringFileInfo\\%04x%04x\\%s", tr[0], tr[1], field);
    char *value = nullptr;
    UINT len = 0;
    if (!VerQueryValueA(block.data(), query, (void **)&value, &len) || !value)
        return std::string();
    return value;
}

std::string SystemFile(const char *name)
{
    char dir[MAX_PATH];
    GetSystemDirectoryA(dir, sizeof(dir));
    return std::string(dir) + "\\" + name;
}

class KeelInfoTest : public BrackmoorTest {
protected:
    void SetUp() override
    {
        BrackmoorTest::SetUp();
        gOpened.clear();
        gStarted.clear();
        gOpenAnswer = 42;
        gStartAnswer = 33;
        KeelOpener = RecordOpen;
        KeelBrowserStarter = RecordStart;
    }
    void TearDown() override
    {
        KeelOpener = KeelOpenWithShell;
        KeelBrowserStarter = KeelStartWithWinExec;
        BrackmoorTest::TearDown();
    }
    // A file of the test's own folder; text only, so no version information.
    std::string MakeFile(const std::string &relative, const std::string &text = "not a program\r\n")
    {
        std::string path = TempFolder() + "\\" + relative;
        size_t cut = path.rfind('\\');
        CreateDirectoryA(path.substr(0, cut).c_str(), NULL);
        WriteWholeFile(path, text);
        return path;
    }
    void TurnTracingOn()
    {
        PutOption("TestLog", "1");
        LoadTestLogCounter();
        ASSERT_TRUE(TraceConfigured());
    }
};

// ---- Short request ----------------------------------------------------------

TEST_F(KeelInfoTest, ShortRequestCarriesTheKeysInOrderEncoded)
{
    std::string file = MakeFile("Tool Box.exe");
    std::string command = "\"" + file + "\" /quiet";
    Address a = Parse(Build("Tool & Box Helper", command, 1234, 0));

    EXPECT_EQ(std::string(kDefaultBase) + kShortPage, a.base);
    std::vector<std::string> order = {"program", "vendor", "version", "build", "Type", "Loc", "ext"};
    EXPECT_EQ(order, a.Names());
    EXPECT_EQ("Tool%20+%20Box%20Helper", a.Value("program"));
    EXPECT_EQ("33.1.2015.0", a.Value("build"));
    EXPECT_EQ("1234", a.Value("Type"));
    EXPECT_EQ("en", a.Value("Loc"));
    EXPECT_EQ("EXE", a.Value("ext"));
}

TEST_F(KeelInfoTest, ProgramWithoutVersionInformationGivesEmptyVendorAndVersion)
{
    // A text file named like a program, and one without any extension.
    const char *rows[] = {"Plain Text.exe", "no version\\helper.dll", "README"};
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); i++) {
        std::string file = MakeFile(rows[i]);
        for (int extended = 0; extended <= 1; extended++) {
            std::string built = Build("item", file, 11, extended);
            Address a = Parse(built);
            EXPECT_EQ("", a.Value("vendor")) << "row " << i << " extended " << extended << ": " << built;
            EXPECT_EQ("", a.Value("version")) << "row " << i << " extended " << extended;
            EXPECT_EQ("item", a.Value("program")) << "row " << i << " extended " << extended;
        }
    }
}

TEST_F(KeelInfoTest, ProgramWithVersionInformationSendsItsCompanyAndProductVersion)
{
    char windows[MAX_PATH];
    GetWindowsDirectoryA(windows, sizeof(windows));
    // The monitor's own program names a company with a blank in it.
    const std::string rows[] = {BinFolder() + "\\brackmoor.exe", SystemFile("kernel32.dll"),
                                std::string(windows) + "\\regedit.exe"};
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); i++) {
        const std::string &path = rows[i];
        std::string company = ResourceVersionText(path, "CompanyName");
        std::string product = ResourceVersionText(path, "ProductVersion");
        ASSERT_FALSE(company.empty()) << "row " << i << ": " << path << " has no CompanyName";
        ASSERT_FALSE(product.empty()) << "row " << i << ": " << path << " has no ProductVersion";
        // Quoted and with arguments, as a Run value would hold it.
        std::string command = "\"" + path + "\" /A & more";
        for (int extended = 0; extended <= 1; extended++) {
            Address a = Parse(Build("item", command, 7, extended));
            EXPECT_EQ(Encoded(company), a.Value("vendor")) << "row " << i << " extended " << extended;
            EXPECT_EQ(Encoded(product), a.Value("version")) << "row " << i << " extended " << extended;
            EXPECT_EQ(Upper(path.substr(path.rfind('.') + 1)), a.Value("ext")) << "row " << i;
        }
    }
    EXPECT_EQ("Dunmere%20Works", Parse(Build("item", rows[0], 7, 0)).Value("vendor"));
    // The extended request carries the other version texts too.
    Address ex = Parse(Build("item", rows[0], 7, 1));
    EXPECT_EQ(Encoded(ResourceVersionText(rows[0], "ProductName")), ex.Value("name"));
    EXPECT_EQ(Encoded(ResourceVersionText(rows[0], "LegalCopyright")), ex.Value("copy"));
    EXPECT_EQ(Encoded(ResourceVersionText(rows[0], "FileDescription")), ex.Value("detail"));
    EXPECT_NE(std::string::npos, ex.Value("copy").find("%20")) << ex.Value("copy");
}

TEST_F(KeelInfoTest, ShortRequestNamesTheLanguageByTheInterfaceLanguage)
{
    std::string file = MakeFile("lang.exe");
    const struct {
        WORD language;
        const char *loc;
    } rows[] = {{7, "de"}, {12, "fr"}, {9, "en"}, {10, "en"}, {0, "en"}, {1031, "en"}};
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); i++) {
        UILanguage = rows[i].language;
        EXPECT_EQ(rows[i].loc, Parse(Build("x", file, 1, 0)).Value("Loc")) << "row " << i;
    }
}

TEST_F(KeelInfoTest, ExtensionIsTheTextAfterTheLastDotOfTheFileName)
{
    const struct {
        const char *file;
        const char *ext;
    } rows[] = {
        {"setup.exe", "EXE"},
        {"Archive.tar.dll", "DLL"},
        {"notes.txt", "TXT"},
        {"README", ""},
        {"my.folder\\LICENSE", ""},   // a dot in the folder is no extension
    };
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); i++) {
        std::string file = MakeFile(rows[i].file);
        for (int extended = 0; extended <= 1; extended++) {
            std::string built = Build("x", file, 1, extended);
            EXPECT_EQ(rows[i].ext, Parse(built).Value("ext"))
                << "row " << i << " extended " << extended << ": " << built;
        }
    }
}

// ---- Server address ---------------------------------------------------------

TEST_F(KeelInfoTest, ConfiguredServerReplacesTheDefaultHost)
{
    std::string file = MakeFile("srv.exe");
    const struct {
        const char *value;   // nullptr: not set
        const char *base;
    } rows[] = {
        {nullptr, kDefaultBase},
        {"https://info.example.org", "https://info.example.org"},
        {"http://10.1.2.3:8080/", "http://10.1.2.3:8080"},     // the page brings its own "/"
        {"HTTPS://Upper.Example.NET//", "HTTPS://Upper.Example.NET"},
        {"", kDefaultBase},
        {"calc.exe", kDefaultBase},                             // not a web address
        {"ftp://files.example.org", kDefaultBase},
        {"https://", kDefaultBase},                             // no host
        {"http:///", kDefaultBase},
    };
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); i++) {
        RegRemoveValue(HKEY_CURRENT_USER, BRACKMOOR_KEY, KEEL_SERVER_VALUE);
        if (rows[i].value)
            RegPut(HKEY_CURRENT_USER, BRACKMOOR_KEY, KEEL_SERVER_VALUE, rows[i].value);
        EXPECT_EQ(std::string(rows[i].base) + kShortPage, Parse(Build("x", file, 1, 0)).base) << "row " << i;
        EXPECT_EQ(std::string(rows[i].base) + kExtendedPage, Parse(Build("x", file, 1, 1)).base) << "row " << i;
    }
}

// ---- The 1023-character bound -------------------------------------------------

TEST_F(KeelInfoTest, AddressStaysWithinItsBoundAndEndsOnAWholeEscape)
{
    std::string file = MakeFile("bound.exe");
    std::string longName;
    while (longName.size() < 900)
        longName += "a b&";                            // every blank grows to three characters
    const struct {
        size_t cap;
        size_t longest;   // the longest text the call may leave
    } rows[] = {{KEEL_ADDRESS_MAX, 1023}, {4096, 1023}, {200, 199}, {61, 60}};
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); i++) {
        for (int extended = 0; extended <= 1; extended++) {
            std::vector<char> buffer(rows[i].cap + 64, (char)0x5A);   // guard bytes after the capacity
            int len = BuildKeelAddress(longName.c_str(), file.c_str(), 1, extended, buffer.data(), rows[i].cap);
            std::string text(buffer.data());
            EXPECT_EQ(text.size(), (size_t)len) << "row " << i << " extended " << extended;
            EXPECT_LE(text.size(), rows[i].longest) << "row " << i << " extended " << extended;
            // At most the two characters of a dropped partial escape are missing.
            EXPECT_GE(text.size() + 2, rows[i].longest) << "row " << i << " extended " << extended;
            size_t limit = rows[i].cap < (size_t)KEEL_ADDRESS_MAX ? rows[i].cap : (size_t)KEEL_ADDRESS_MAX;
            for (size_t g = limit; g < buffer.size(); g++)
                ASSERT_EQ((char)0x5A, buffer[g]) << "row " << i << " extended " << extended << " byte " << g;
            for (size_t p = text.find('%'); p != std::string::npos; p = text.find('%', p + 1))
                EXPECT_LT(p + 2, text.size()) << "row " << i << " extended " << extended << ": cut escape at " << p;
            if (rows[i].cap >= 200) {
                EXPECT_EQ(0u, text.find(std::string(kDefaultBase) + (extended ? kExtendedPage : kShortPage) +
                                        "?program=a%20b+a%20b+"))
                    << "row " << i << " extended " << extended;
            }
        }
    }
}

// ---- Opening ------------------------------------------------------------------

TEST_F(KeelInfoTest, OpenerReceivesExactlyTheBuiltShortAddress)
{
    std::string file = MakeFile("Open Me.exe");
    const struct {
        const char *name;
        int code;
        WORD language;
    } rows[] = {{"Open Me", 11, 9}, {"Service & Co", 700, 7}, {"", 460, 12}};
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); i++) {
        gOpened.clear();
        UILanguage = rows[i].language;
        EXPECT_EQ(1, GetKeelInfo(rows[i].name, file.c_str(), rows[i].code)) << "row " << i;
        ASSERT_EQ(1u, gOpened.size()) << "row " << i;
        EXPECT_EQ(Build(rows[i].name, file, rows[i].code, 0), gOpened[0].target) << "row " << i;
        EXPECT_EQ(0, gOpened[0].shortcut) << "row " << i;
        Address a = Parse(gOpened[0].target);
        EXPECT_EQ(std::to_string(rows[i].code), a.Value("Type")) << "row " << i;
        // Without a name from the alert, the file name speaks for the item.
        EXPECT_EQ(rows[i].name[0] ? Encoded(rows[i].name) : Encoded(Upper("Open Me.exe")), a.Value("program"))
            << "row " << i;
        EXPECT_TRUE(gStarted.empty()) << "row " << i;
    }
}

TEST_F(KeelInfoTest, ExtendedRequestGoesThroughAShortcutThatIsGoneAfterwards)
{
    std::string file = MakeFile("Big Tool.exe", std::string(1234, 'x'));
    std::string upperPath = Upper(file);
    RegPut(HKEY_CURRENT_USER, kDetectedStartup, upperPath.c_str(), "07/14/2023 09:30");
    PutOption("KeelFormat", "1");

    ASSERT_EQ(1, GetKeelInfo("Big Tool", file.c_str(), 11));
    std::string shortcut = DataFolder() + "\\temp.url";
    ASSERT_EQ(1u, gOpened.size());
    EXPECT_EQ(0, lstrcmpiA(shortcut.c_str(), gOpened[0].target.c_str())) << gOpened[0].target;
    EXPECT_EQ(1, gOpened[0].shortcut);
    EXPECT_TRUE(gOpened[0].existed) << "the shortcut was not there when it was opened";
    EXPECT_FALSE(PathExists(shortcut)) << "the shortcut was left behind";

    std::string expected = Build("Big Tool", file, 11, 1);
    EXPECT_NE(std::string::npos, gOpened[0].content.find("[InternetShortcut]")) << gOpened[0].content;
    EXPECT_NE(std::string::npos, gOpened[0].content.find("URL=" + expected + "\r\n")) << gOpened[0].content;

    Address a = Parse(expected);
    EXPECT_EQ(std::string(kDefaultBase) + kExtendedPage, a.base);
    std::vector<std::string> order = {"program", "vendor", "build",  "Type",     "Loc",   "ext",  "version",
                                      "name",    "copy",   "detail", "created", "detected", "fsize", "path"};
    EXPECT_EQ(order, a.Names());
    EXPECT_EQ("Big%20Tool", a.Value("program"));
    EXPECT_EQ("33.1.2015.0", a.Value("build"));
    EXPECT_EQ("11", a.Value("Type"));
    EXPECT_EQ("us", a.Value("Loc"));
    EXPECT_EQ("EXE", a.Value("ext"));
    EXPECT_EQ("1234", a.Value("fsize"));
    EXPECT_EQ("07/14/2023%2009:30", a.Value("detected"));
    EXPECT_EQ(Encoded(upperPath), a.Value("path"));
    WIN32_FILE_ATTRIBUTE_DATA data;
    ASSERT_TRUE(GetFileAttributesExA(file.c_str(), GetFileExInfoStandard, &data));
    FILETIME local;
    SYSTEMTIME created;
    FileTimeToLocalFileTime(&data.ftCreationTime, &local);
    FileTimeToSystemTime(&local, &created);
    std::string createdText = a.Value("created");
    EXPECT_NE(std::string::npos, createdText.find(std::to_string(created.wYear))) << createdText;
    EXPECT_EQ(std::string::npos, createdText.find(' ')) << createdText;
}

TEST_F(KeelInfoTest, ExtendedRequestLanguageComesFromTheStringTable)
{
    std::string file = MakeFile("loc.exe");
    const struct {
        WORD language;
        const char *translation;   // "LString634", nullptr: none
        const char *loc;
    } rows[] = {{9, nullptr, "us"}, {9, "xx", "us"}, {7, "de", "de"}, {12, "fr", "fr"}, {7, nullptr, "us"}};
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); i++) {
        RegRemoveValue(HKEY_CURRENT_USER, BRACKMOOR_KEY, "LString634");
        if (rows[i].translation)
            RegPut(HKEY_CURRENT_USER, BRACKMOOR_KEY, "LString634", rows[i].translation);
        UILanguage = rows[i].language;
        EXPECT_EQ(rows[i].loc, Parse(Build("x", file, 1, 1)).Value("Loc")) << "row " << i;
    }
}

TEST_F(KeelInfoTest, ExtendedRequestOpensTheAddressWhenNoShortcutCanBeWritten)
{
    TurnTracingOn();
    std::string file = MakeFile("blocked.exe");
    // A folder of the shortcut's name: the file cannot be created over it.
    std::string blocker = DataFolder() + "\\temp.url";
    CreateDirectoryA(DataFolder().c_str(), NULL);
    ASSERT_TRUE(CreateDirectoryA(blocker.c_str(), NULL));

    EXPECT_EQ(1, GetKeelInfoEx("blocked", file.c_str(), 11));
    ASSERT_EQ(1u, gOpened.size());
    EXPECT_EQ(Build("blocked", file, 11, 1), gOpened[0].target);
    EXPECT_EQ(0, gOpened[0].shortcut);
    EXPECT_TRUE(TraceHas("GetKeelInfoEx CreateInternetShortcut ---"));
    EXPECT_TRUE(TraceHas("GetLastError:  ="));
    DWORD attributes = GetFileAttributesA(blocker.c_str());
    EXPECT_TRUE(attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
        << "a folder that was not ours was removed";
}

// ---- Fallbacks ------------------------------------------------------------------

TEST_F(KeelInfoTest, FailedOpenFallsBackToInternetExplorerByTheOptions)
{
    std::string iePath = RegText(HKEY_LOCAL_MACHINE,
                                 "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\IEXPLORE.EXE", "Path");
    if (iePath.empty())
        GTEST_SKIP() << "no Internet Explorer path on this system";
    if (iePath.back() == ';')
        iePath.pop_back();
    iePath += "\\iexplore.exe";
    TurnTracingOn();
    std::string file = MakeFile("fallback.exe");
    const struct {
        INT_PTR openAnswer;
        const char *keelFormat;
        const char *browserFailure;
        size_t opens;
        bool ieStarted;
        int result;
    } rows[] = {
        {42, "0", "1", 1, false, 1},   // the shell opened it: nothing more
        {42, "1", "1", 1, false, 1},
        {2, "0", "0", 1, true, 1},     // the short request always tries Internet Explorer
        {2, "0", "1", 1, true, 1},
        {2, "1", "0", 1, false, 0},    // the extended one only when the user asked for it
        {2, "1", "1", 1, true, 1},
    };
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); i++) {
        gOpened.clear();
        gStarted.clear();
        gOpenAnswer = rows[i].openAnswer;
        PutOption("KeelFormat", rows[i].keelFormat);
        PutOption("BrowserFailure", rows[i].browserFailure);
        EXPECT_EQ(rows[i].result, GetKeelInfo("fb", file.c_str(), 11)) << "row " << i;
        EXPECT_EQ(rows[i].opens, gOpened.size()) << "row " << i;
        ASSERT_EQ(rows[i].ieStarted ? 1u : 0u, gStarted.size()) << "row " << i;
        if (rows[i].ieStarted) {
            std::string address = Build("fb", file, 11, rows[i].keelFormat[0] == '1');
            EXPECT_EQ("\"" + iePath + "\" " + address, gStarted[0]) << "row " << i;
        }
    }
    // The failed short open is traced under its address.
    EXPECT_TRUE(TraceHas("GetKeelInfo " + Build("fb", file, 11, 0)));
    EXPECT_TRUE(TraceHas("GetKeelInfoEx ShellExecute ---"));
}

TEST_F(KeelInfoTest, DefaultOpenerAnswersFailureForAMissingFile)
{
    // The real shell, on a file that is not there: nothing starts, nothing is
    // shown, the answer is a failure, for the shortcut and for a plain target.
    std::string missing = TempFolder() + "\\not-here\\missing.url";
    for (int shortcut = 0; shortcut <= 1; shortcut++)
        EXPECT_LE(KeelOpenWithShell(missing.c_str(), shortcut), 32) << "shortcut " << shortcut;
}

// ---- Command-line job -------------------------------------------------------------

TEST_F(KeelInfoTest, CommandLineLookupNamesTheItemByItsFileName)
{
    std::string exe = MakeFile("My Tool.exe");
    std::string dll = MakeFile("Helper Lib.dll");
    const struct {
        std::string commandLine;
        int code;
        const char *program;
        const char *ext;
    } rows[] = {
        {"\"" + exe + "\"", KEEL_CODE_EXE, "My%20Tool.exe", "EXE"},
        {exe, KEEL_CODE_EXE, "My%20Tool.exe", "EXE"},
        {"\"" + dll + "\"", KEEL_CODE_DLL, "Helper%20Lib.dll", "DLL"},
    };
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); i++) {
        gOpened.clear();
        EXPECT_EQ(1, KeelLookupFromCommandLine(rows[i].commandLine.c_str(), rows[i].code)) << "row " << i;
        ASSERT_EQ(1u, gOpened.size()) << "row " << i;
        Address a = Parse(gOpened[0].target);
        EXPECT_EQ(std::string(kDefaultBase) + kShortPage, a.base) << "row " << i;
        EXPECT_EQ(rows[i].program, a.Value("program")) << "row " << i;
        EXPECT_EQ(std::to_string(rows[i].code), a.Value("Type")) << "row " << i;
        EXPECT_EQ(rows[i].ext, a.Value("ext")) << "row " << i;
    }
}

TEST_F(KeelInfoTest, CommandLineWithoutAProgramOpensNothing)
{
    const char *rows[] = {"", "\"\""};
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); i++) {
        EXPECT_EQ(0, KeelLookupFromCommandLine(rows[i], KEEL_CODE_EXE)) << "row " << i;
        EXPECT_TRUE(gOpened.empty()) << "row " << i;
    }
}

}  // namespace
