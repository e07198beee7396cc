// The trace log and the history log, read back from their files.
#include <windows.h>
#include <gtest/gtest.h>

#include <cstring>
#include <regex>
#include <string>
#include <vector>

#include "common/history.h"
#include "common/text.h"
#include "common/tracelog.h"
#include "monitor/options.h"
#include "support/test_env.h"

namespace {

const char kGuard = 0x5A;

void TraceToTempFolder(int counter) {
    std::string path = TempFolder() + "\\trace.txt";
    CopyText(TestLogPath, sizeof(TestLogPath), path.c_str());
    TestLogCounter = counter;
}

std::string HistoryPath() {
    return DataFolder() + "\\history.txt";
}

std::vector<std::string> SplitTabs(const std::string &line) {
    std::vector<std::string> fields;
    size_t start = 0;
    for (;;) {
        size_t tab = line.find('\t', start);
        fields.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
        if (tab == std::string::npos)
            return fields;
        start = tab + 1;
    }
}

SYSTEMTIME MakeTime(WORD year, WORD month, WORD day, WORD hour, WORD minute) {
    SYSTEMTIME t = {};
    t.wYear = year;
    t.wMonth = month;
    t.wDay = day;
    t.wHour = hour;
    t.wMinute = minute;
    t.wSecond = 42;
    return t;
}

// "key=stamp - tag: message" as the trace log stores it.
const std::regex kEntry(
    "^(-?[0-9]+)\\.([0-9]+)=([0-9]{4})-([0-9]{2})-([0-9]{2})  [0-9]{2}:[0-9]{2}:[0-9]{2}:[0-9]{2,3}"
    " - (.*)$");

}  // namespace

TEST_F(BrackmoorTest, TraceLogCounterFromTheOption) {
    // Absent: nothing is written, not even an empty file.
    LoadTestLogCounter();
    EXPECT_EQ(TESTLOG_OFF, TestLogCounter);
    EXPECT_EQ(0, TraceConfigured());
    EXPECT_EQ(0, TestLog("tag", "message"));
    SetLastError(ERROR_ACCESS_DENIED);
    EXPECT_EQ(0, TraceLastError("MyError:  Nothing"));
    EXPECT_FALSE(PathExists(TestLogPath)) << TestLogPath;

    const struct {
        const char *option;
        int counter;
        int configured;
    } rows[] = {
        {"", 9999, 0}, {"9998", 9998, 1}, {"9990", 9990, 1}, {"0", 0, 1}, {"abc", 0, 1},
        {"12x", 12, 1},
    };
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); i++) {
        PutOption("TestLog", rows[i].option);
        LoadTestLogCounter();
        EXPECT_EQ(rows[i].counter, TestLogCounter) << "row " << i;
        EXPECT_EQ(rows[i].configured, TraceConfigured()) << "row " << i;
    }
}

TEST_F(BrackmoorTest, TraceLogWritesUntilTheCounterPassesTheThreshold) {
    // Start-up makes the data folder; the trace log is written into it.
    CreateDirectoryA(DataFolder().c_str(), NULL);
    PutOption("TestLog", "9990");
    ReadOptions();
    EXPECT_EQ(1, TestLog("first", "one"));
    EXPECT_EQ(0, TestLog("second", "two"));
    EXPECT_EQ(0, TestLog("third", "three"));
    std::vector<std::string> entries = TraceEntries();
    ASSERT_EQ(1u, entries.size());
    EXPECT_NE(std::string::npos, entries[0].find(" - first: one")) << entries[0];
    std::string before = ReadWholeFile(TestLogPath);

    // Past the threshold the file is left alone, until the options are read again.
    SetLastError(ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(0, TraceLastError("MyError:  Late"));
    EXPECT_EQ(before, ReadWholeFile(TestLogPath));
    ReadOptions();
    EXPECT_EQ(1, TestLog("again", "after the re-read"));
    EXPECT_EQ(2u, TraceEntries().size());

    // 9980 gives eleven entries: 9981 .. 9991 in the keys.
    TraceToTempFolder(9980);
    int written = 0;
    for (int i = 0; i < 20; i++)
        written += TestLog("count", "x");
    EXPECT_EQ(11, written);
    EXPECT_EQ(9991, TestLogCounter);
    entries = TraceEntries();
    ASSERT_EQ(11u, entries.size());
    for (size_t i = 0; i < entries.size(); i++) {
        std::smatch m;
        ASSERT_TRUE(std::regex_match(entries[i], m, kEntry)) << "entry " << i << ": " << entries[i];
        EXPECT_EQ(std::to_string(9981 + i), m[2].str()) << "entry " << i;
    }
}

TEST_F(BrackmoorTest, TraceEntryShape) {
    TraceToTempFolder(0);
    SYSTEMTIME day;
    GetLocalTime(&day);
    DWORD tickBefore = GetTickCount();
    // Two entries in the same millisecond still get two keys.
    EXPECT_EQ(1, TestLog("Init Missing Uninstall", "OK"));
    EXPECT_EQ(1, TestLog("Init Missing Uninstall", "OK"));
    DWORD tickAfter = GetTickCount();

    std::string longMessage(3000, 'm');
    EXPECT_EQ(1, TestLog("Long", longMessage.c_str()));
    EXPECT_EQ(1, TestLog("Lines", "first\r\nsecond"));
    EXPECT_EQ(1, TestLog("", ""));

    std::vector<std::string> entries = TraceEntries();
    ASSERT_EQ(5u, entries.size());
    std::vector<std::string> keys;
    std::vector<std::string> bodies;
    for (size_t i = 0; i < entries.size(); i++) {
        // The long entry is matched on its beginning: the regex engine recurses per character.
        const std::string head = entries[i].substr(0, 300);
        std::smatch m;
        ASSERT_TRUE(std::regex_match(head, m, kEntry)) << "entry " << i << ": " << head;
        keys.push_back(entries[i].substr(0, entries[i].find('=')));
        EXPECT_LE(keys.back().size(), 31u) << "entry " << i;
        EXPECT_EQ(std::to_string(i + 1), m[2].str()) << "entry " << i;
        // The tick count printed as signed is the same 32 bits as the unsigned count.
        DWORD tick = (DWORD)std::stoll(m[1].str());
        if (i < 2) {
            EXPECT_LE(tick - tickBefore, tickAfter - tickBefore) << "entry " << i;
        }
        EXPECT_EQ(day.wYear, std::stoi(m[3].str())) << "entry " << i;
        bodies.push_back(m[6].str());
    }
    EXPECT_NE(keys[0], keys[1]);
    EXPECT_EQ("Init Missing Uninstall: OK", bodies[0]);
    EXPECT_EQ("Init Missing Uninstall: OK", bodies[1]);
    // The value is bounded to 2047 characters.
    std::string longValue = entries[2].substr(entries[2].find('=') + 1);
    EXPECT_EQ(2047u, longValue.size());
    EXPECT_EQ(0u, bodies[2].find("Long: mmm"));
    EXPECT_EQ(std::string::npos, longValue.find_first_not_of('m', longValue.find("Long: ") + 6));
    // A line break in a message stays inside its entry.
    EXPECT_EQ("Lines: first  second", bodies[3]);
    EXPECT_EQ(": ", bodies[4]);
}

TEST_F(BrackmoorTest, TraceLastErrorWritesCodeAndSystemText) {
    TraceToTempFolder(0);
    const struct {
        DWORD code;
        const char *tag;
    } rows[] = {
        {ERROR_FILE_NOT_FOUND, "MyError:  KillStartupTask TerminateProcess"},
        {ERROR_ACCESS_DENIED, "MyError:  Access"},
        {ERROR_BAD_EXE_FORMAT, "MyError:  Insert"},   // its text holds a "%1" insert
        {0xE0001234, "MyError:  NoText"},             // no system text at all
    };
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); i++) {
        SetLastError(rows[i].code);
        EXPECT_EQ(1, TraceLastError(rows[i].tag)) << "row " << i;
        EXPECT_EQ(rows[i].code, GetLastError()) << "row " << i << ": the error is kept for the caller";
    }
    std::vector<std::string> entries = TraceEntries();
    ASSERT_EQ(4u, entries.size());
    for (size_t i = 0; i < entries.size(); i++) {
        std::smatch m;
        ASSERT_TRUE(std::regex_match(entries[i], m, kEntry)) << "row " << i;
        std::string prefix = std::string(rows[i].tag) + ": " + std::to_string((int)rows[i].code) + "  ";
        EXPECT_EQ(0u, m[6].str().find(prefix)) << "row " << i << ": " << m[6].str();
        EXPECT_LE(m[6].str().size() - std::strlen(rows[i].tag) - 2, 511u) << "row " << i;
    }
    // Wine and Windows both have a text for these two.
    EXPECT_GT(entries[0].size(), entries[0].find(": 2  ") + 5);
    EXPECT_GT(entries[1].size(), entries[1].find(": 5  ") + 5);

    // The formatter honours a small buffer and leaves what follows it alone.
    char small[8 + 4];
    std::memset(small, kGuard, sizeof(small));
    FormatSystemError(ERROR_FILE_NOT_FOUND, small, 8);
    EXPECT_EQ(7u, std::strlen(small));
    EXPECT_EQ(0, std::strncmp(small, "2  ", 3));
    for (size_t g = 8; g < sizeof(small); g++)
        EXPECT_EQ(kGuard, small[g]) << "guard " << g;
}

TEST_F(BrackmoorTest, HistoryTablesGiveEveryDocumentedName) {
    const struct {
        int code;
        const char *name;
    } types[] = {
        {1, "MACHINE_RUN"}, {2, "MACHINE_RUNONCE"}, {3, "MACHINE_RUNONCEEX"},
        {4, "MACHINE_RUNSERVICES"}, {5, "MACHINE_RUNSERVICESONCE"}, {11, "CURRENT_RUN"},
        {12, "CURRENT_RUNONCE"}, {13, "CURRENT_RUNONCEEX"}, {14, "CURRENT_RUNSERVICES"},
        {15, "CURRENT_RUNSERVICESONCE"}, {21, "WOW64_RUN"}, {22, "WOW64_RUNONCE"},
        {23, "WOW64_RUNONCEEX"}, {24, "WOW64_RUNSERVICES"}, {25, "WOW64_RUNSERVICESONCE"},
        {31, "BRACKMOOR_RUN"}, {32, "BRACKMOOR_RUNONCE"}, {33, "BRACKMOOR_RUNONCEEX"},
        {34, "BRACKMOOR_RUNSERVICES"}, {35, "BRACKMOOR_RUNSERVICESONCE"}, {100, "WIN_LOAD"},
        {101, "WIN_RUN"}, {200, "GROUP_STARTUP"}, {250, "WINLOGON_Userinit"},
        {251, "WINLOGON_Shell"}, {252, "REG_Delayload"}, {253, "REG_TaskScheduler"},
        {254, "REG_ShellExecuteHook"}, {255, "REG_AppInitDLLs"}, {500, "INFO_COOKIE"},
        {501, "INFO_NETCOOKIE"}, {502, "INFO_SAVECOOKIE"}, {503, "INFO_NUTS"}, {600, "INFO_TASK"},
        {700, "SERVICE_EXE"}, {701, "SERVICE_SVCHOST"}, {800, "TASK_SCHEDULED"}, {900, "TYPE_BHO"},
        {300, "RESTART_DELETE"}, {301, "RESTART_RENAME"}, {901, "TYPE_TOOLBAR"},
        {902, "TYPE_EXTENSION"}, {350, "TYPE_MONITOR"}, {360, "TYPE_BLACKLIST"},
        {450, "TYPE_PROSEARCH"}, {400, "TYPE_FILETYPE"}, {370, "TYPE_HIDDEN"},
        {256, "RUN_WINLOGONNOTIFY"}, {6, "MACHINE_RUNONCESETUP"}, {7, "MACHINE_RUNPOLICY"},
        {1200, "TYPE_ACTIVEX"}, {3000, "TYPE_UNKNOWN"},
        // Codes without a row.
        {0, "TYPE_UNKNOWN"}, {8, "TYPE_UNKNOWN"}, {16, "TYPE_UNKNOWN"}, {257, "TYPE_UNKNOWN"},
        {-1, "TYPE_UNKNOWN"}, {99999, "TYPE_UNKNOWN"},
    };
    for (size_t i = 0; i < sizeof(types) / sizeof(types[0]); i++)
        EXPECT_STREQ(types[i].name, HistoryTypeName(types[i].code)) << "type row " << i;

    const struct {
        int code;
        const char *name;
    } actions[] = {
        {0, "*START_Remove"}, {1, "START_Disable"}, {2, "START_Enable"}, {3, "IEHELPER_Remove"},
        {4, "TASK_Remove"}, {5, "TASK_Kill"}, {6, "START_Alert"}, {7, "TASK_Alert"},
        {8, "IEHELPER_Alert"}, {9, "SERVICE_Stop"}, {10, "SERVICE_Automatic"},
        {11, "SERVICE_Manual"}, {12, "SERVICE_Disabled"}, {13, "TASK_Restore"},
        {14, "IEHELPER_Restore"}, {15, "ScheduledTask_Remove"}, {17, "SERVICE_from_Automatic"},
        {18, "SERVICE_from_Manual"}, {19, "SERVICE_from_Disabled"},
        {20, "SERVICE__from_AutomaticDelayed"}, {21, "RESET_USERINIT"}, {22, "RESET_SHELL"},
        {23, "REMOVE_TaskScheduler"}, {24, "REMOVE_DELAYLOAD"}, {25, "REMOVE_SHELLEXECUTEHOOK"},
        {26, "REMOVE_APPINIT"}, {28, "HIDDEN_Alert"}, {29, "*HIDDEN_DeleteFile"},
        {30, "REMOVE_WinLogonNotify"}, {31, "LOG_ALERT_ACTIVEX"}, {32, "LOG_ALERT_FILETYPE"},
        {33, "LOG_UNKNOWN"}, {34, "START_Restore"},
        // Codes without a row.
        {16, "LOG_UNKNOWN"}, {27, "LOG_UNKNOWN"}, {35, "LOG_UNKNOWN"}, {-1, "LOG_UNKNOWN"},
        {3000, "LOG_UNKNOWN"},
    };
    for (size_t i = 0; i < sizeof(actions) / sizeof(actions[0]); i++)
        EXPECT_STREQ(actions[i].name, HistoryActionName(actions[i].code)) << "action row " << i;
}

TEST_F(BrackmoorTest, HistoryTimeOnTheTwelveHourClock) {
    const struct {
        SYSTEMTIME t;
        const char *text;
    } rows[] = {
        {MakeTime(2015, 3, 7, 0, 5), "03/07/2015  12:05 AM"},
        {MakeTime(2015, 3, 7, 12, 0), "03/07/2015  12:00 PM"},
        {MakeTime(2015, 3, 7, 13, 7), "03/07/2015  1:07 PM"},
        {MakeTime(2015, 12, 31, 11, 59), "12/31/2015  11:59 AM"},
        {MakeTime(2015, 12, 31, 23, 59), "12/31/2015  11:59 PM"},
        {MakeTime(999, 1, 2, 1, 0), "01/02/0999  1:00 AM"},
        {MakeTime(0, 1, 0, 10, 10), "01/00/0000  10:10 AM"},   // only an all-zero date is "never"
        {MakeTime(0, 0, 0, 10, 10), "Never"},
    };
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); i++) {
        char out[512 + 8];
        std::memset(out, kGuard, sizeof(out));
        EXPECT_EQ(1, FormatHistoryTime(rows[i].t, out, 512)) << "row " << i;
        EXPECT_STREQ(rows[i].text, out) << "row " << i;
        for (size_t g = 512; g < sizeof(out); g++)
            EXPECT_EQ(kGuard, out[g]) << "row " << i;
    }

    // "Never" is a user-visible text: a translation replaces it.
    RegPut(HKEY_CURRENT_USER, BRACKMOOR_KEY, "LString686", "Jamais");
    UILanguage = 12;
    char out[512];
    FormatHistoryTime(MakeTime(0, 0, 0, 0, 0), out, sizeof(out));
    UILanguage = 9;
    EXPECT_STREQ("Jamais", out);
}

TEST_F(BrackmoorTest, HistoryLineFieldsAndBound) {
    const SYSTEMTIME t = MakeTime(2015, 3, 7, 13, 7);
    char line[HISTORY_LINE_MAX + 8];
    std::memset(line, kGuard, sizeof(line));
    int n = FormatHistoryLine(&t, LOG_START_ALERT, 11, "Updater", "C:\\Tools\\updater.exe -s", "",
                              line, HISTORY_LINE_MAX);
    EXPECT_STREQ("03/07/2015  1:07 PM\tSTART_Alert\tCURRENT_RUN\tUpdater\tC:\\Tools\\updater.exe -s\t\r\n",
                 line);
    EXPECT_EQ((int)std::strlen(line), n);

    // Around the bound: the whole line fits in 1023 characters, or it is cut (line end too).
    std::string prefix = "03/07/2015  1:07 PM\t*START_Remove\tWIN_LOAD\tn\t";
    size_t fits = 1023 - prefix.size() - std::strlen("\t\r\n");
    const struct {
        size_t pathLength;
        const char *ending;
    } rows[] = {
        {fits - 1, "\t\r\n"},
        {fits, "\t\r\n"},
        {fits + 1, "p\t\r"},
        {fits + 2, "pp\t"},
        {2000, "ppp"},
    };
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); i++) {
        std::string path(rows[i].pathLength, 'p');
        std::memset(line, kGuard, sizeof(line));
        n = FormatHistoryLine(&t, 0, 100, "n", path.c_str(), "", line, HISTORY_LINE_MAX);
        size_t expected = std::min<size_t>(1023, prefix.size() + path.size() + 3);
        EXPECT_EQ((int)expected, n) << "row " << i;
        ASSERT_EQ(expected, std::strlen(line)) << "row " << i;
        EXPECT_EQ(rows[i].ending, std::string(line + expected - 3)) << "row " << i;
        EXPECT_EQ(0, std::strncmp(line, prefix.c_str(), prefix.size())) << "row " << i;
        for (size_t g = HISTORY_LINE_MAX; g < sizeof(line); g++)
            EXPECT_EQ(kGuard, line[g]) << "row " << i;
    }
}

TEST_F(BrackmoorTest, WriteLogAppendsOneLinePerCall) {
    CreateDirectoryA(DataFolder().c_str(), NULL);
    WriteWholeFile(HistoryPath(), "earlier line\r\n");

    WriteLog(LOG_START_RESTORE, 6, "Setup", "C:\\x\\setup.exe", "detail text");
    WriteLog(99, 12345, "Name\twith tab", "C:\\y.exe", "");
    std::string text = ReadWholeFile(HistoryPath());
    ASSERT_EQ(0u, text.find("earlier line\r\n"));
    text = text.substr(std::strlen("earlier line\r\n"));

    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find("\r\n", start);
        ASSERT_NE(std::string::npos, end) << "every line ends with CR LF";
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    ASSERT_EQ(2u, lines.size());
    const std::regex time("^[0-9]{2}/[0-9]{2}/[0-9]{4}  ([1-9]|1[0-2]):[0-5][0-9] (AM|PM)$");

    std::vector<std::string> first = SplitTabs(lines[0]);
    ASSERT_EQ(6u, first.size()) << lines[0];
    EXPECT_TRUE(std::regex_match(first[0], time)) << first[0];
    EXPECT_EQ("START_Restore", first[1]);
    EXPECT_EQ("MACHINE_RUNONCESETUP", first[2]);
    EXPECT_EQ("Setup", first[3]);
    EXPECT_EQ("C:\\x\\setup.exe", first[4]);
    EXPECT_EQ("detail text", first[5]);

    // Unknown codes have names of their own; a tab in a name is not escaped.
    std::vector<std::string> second = SplitTabs(lines[1]);
    ASSERT_EQ(7u, second.size()) << lines[1];
    EXPECT_EQ("LOG_UNKNOWN", second[1]);
    EXPECT_EQ("TYPE_UNKNOWN", second[2]);
    EXPECT_EQ("Name", second[3]);
    EXPECT_EQ("with tab", second[4]);
    EXPECT_EQ("", second[6]);
}

TEST_F(BrackmoorTest, WriteLogCutsALongLine) {
    std::string path(2000, 'p');
    WriteLog(LOG_START_ALERT, 3000, "n", path.c_str(), "never written");
    std::string text = ReadWholeFile(HistoryPath());
    EXPECT_EQ(1023u, text.size());
    EXPECT_EQ(std::string::npos, text.find('\r'));
    EXPECT_EQ(std::string::npos, text.find("never"));
    std::vector<std::string> fields = SplitTabs(text);
    ASSERT_EQ(5u, fields.size());
    EXPECT_EQ("START_Alert", fields[1]);
    EXPECT_EQ("TYPE_UNKNOWN", fields[2]);
}

TEST_F(BrackmoorTest, WriteLogHonoursTheHistoryOption) {
    TraceToTempFolder(0);
    const struct {
        const char *option;
        bool written;
    } rows[] = {{"0", false}, {"-1", false}, {"abc", false}, {"1", true}, {"", true}, {"7", true}};
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); i++) {
        RemoveTree(HistoryPath());
        PutOption("History", rows[i].option);
        ReadOptions();
        TraceToTempFolder(0);
        WriteLog(LOG_TASK_KILL, 600, "task.exe", "C:\\task.exe", "");
        EXPECT_EQ(rows[i].written, PathExists(HistoryPath())) << "row " << i;
        if (rows[i].written) {
            EXPECT_NE(std::string::npos, ReadWholeFile(HistoryPath()).find("\tTASK_Kill\tINFO_TASK\t"))
                << "row " << i;
        }
    }
    EXPECT_TRUE(TraceEntries().empty());
}

TEST_F(BrackmoorTest, WriteLogLosesTheLineWhileTheFileIsHeld) {
    CreateDirectoryA(DataFolder().c_str(), NULL);
    // However another program holds the file, the exclusive open fails.
    const struct {
        DWORD access;
        DWORD share;
    } holders[] = {
        {GENERIC_WRITE, 0},
        {GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE},
        {GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE},
    };
    for (size_t i = 0; i < sizeof(holders) / sizeof(holders[0]); i++) {
        TraceToTempFolder(0);
        RemoveTree(TestLogPath);
        RemoveTree(HistoryPath());
        HANDLE held = CreateFileA(HistoryPath().c_str(), holders[i].access, holders[i].share, NULL,
                                  OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
        ASSERT_NE(INVALID_HANDLE_VALUE, held) << "row " << i;
        WriteLog(LOG_HIDDEN_DELETEFILE, 370, "lost.txt", "C:\\lost.txt", "");
        CloseHandle(held);

        EXPECT_EQ("", ReadWholeFile(HistoryPath())) << "row " << i;
        std::vector<std::string> entries = TraceEntries();
        ASSERT_EQ(1u, entries.size()) << "row " << i;
        std::smatch m;
        ASSERT_TRUE(std::regex_match(entries[0], m, kEntry)) << entries[0];
        std::string prefix = "WriteLog CreateFile: " + std::to_string(ERROR_SHARING_VIOLATION) + "  ";
        EXPECT_EQ(0u, m[6].str().find(prefix)) << "row " << i << ": " << m[6].str();
        EXPECT_GT(m[6].str().size(), prefix.size()) << "row " << i << ": the system text follows the code";

        // Nothing is retried, and the next call after the holder let go writes normally.
        WriteLog(LOG_HIDDEN_DELETEFILE, 370, "kept.txt", "C:\\kept.txt", "");
        std::string text = ReadWholeFile(HistoryPath());
        EXPECT_EQ(std::string::npos, text.find("lost.txt")) << "row " << i;
        EXPECT_NE(std::string::npos,
                  text.find("\t*HIDDEN_DeleteFile\tTYPE_HIDDEN\tkept.txt\tC:\\kept.txt\t\r\n"))
            << "row " << i;
        EXPECT_EQ(1u, TraceEntries().size()) << "row " << i;
    }
}
