// The trace log and the history log, read back from their files.
#include <windows.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <regex>
#include <string>
#include <vector>

#include "common/history.h"
#include "common/tracelog.h"
#include "common/options.h"
#include "support/system_state.h"
#include "support/test_env.h"

namespace {

std::string HistoryPath() {
    return DataFolder() + "\\history.txt";
}

SYSTEMTIME At(WORD year, WORD month, WORD day, WORD hour, WORD minute) {
    return SYSTEMTIME{year, month, 0, day, hour, minute, 42, 0};
}

// "tick.counter=stamp - tag: message" as the trace log stores it.
const std::regex kEntry("^(-?[0-9]+)\\.([0-9]+)=([0-9]{4})-[0-9]{2}-[0-9]{2}  [0-9]{2}:[0-9]{2}:[0-9]{2}:[0-9]{2,3}"
                        " - (.*)$");

}  // namespace

TEST_F(BrackmoorTest, TraceLogWritesOnlyWhileTheCounterAllows) {
    CreateDirectoryA(DataFolder().c_str(), NULL);
    // "TestLog" absent, empty, or past 9990: nothing is written, not even an empty file.
    const struct { const char *option; int configured; } rows[] = {{nullptr, 0}, {"", 0}, {"9998", 1}};
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); i++) {
        if (rows[i].option)
            PutOption("TestLog", rows[i].option);
        LoadTestLogCounter();
        EXPECT_EQ(rows[i].configured, TraceConfigured()) << "row " << i;
        EXPECT_EQ(0, TestLog("tag", "message")) << "row " << i;
        SetLastError(ERROR_ACCESS_DENIED);
        EXPECT_EQ(0, TraceLastError("MyError:  Nothing")) << "row " << i;
        EXPECT_FALSE(PathExists(TestLogPath)) << "row " << i;
    }

    // 9990: exactly one entry; past it the file is left alone until the options are read again.
    PutOption("TestLog", "9990");
    ReadOptions();
    EXPECT_EQ(1, TestLog("first", "one"));
    EXPECT_EQ(0, TestLog("second", "two"));
    SetLastError(ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(0, TraceLastError("MyError:  Late"));
    std::vector<std::string> entries = TraceEntries();
    ASSERT_EQ(1u, entries.size());
    EXPECT_NE(std::string::npos, entries[0].find(" - first: one")) << entries[0];
    ReadOptions();
    EXPECT_EQ(1, TestLog("again", "after the re-read"));
    EXPECT_EQ(2u, TraceEntries().size());
}

TEST_F(BrackmoorTest, TraceEntryShape) {
    TraceToTempFile();
    SYSTEMTIME day;
    GetLocalTime(&day);
    DWORD tickBefore = GetTickCount();
    // Two entries in the same millisecond still get two keys.
    EXPECT_EQ(1, TestLog("Init Missing Uninstall", "OK"));
    EXPECT_EQ(1, TestLog("Init Missing Uninstall", "OK"));
    DWORD tickAfter = GetTickCount();
    EXPECT_EQ(1, TestLog("Lines", "first\r\nsecond"));   // a line break stays inside its entry
    // An error comes with its system text, if any ("%1" of 193 is left alone); the caller still sees it.
    for (DWORD code : {(DWORD)ERROR_FILE_NOT_FOUND, (DWORD)ERROR_BAD_EXE_FORMAT, (DWORD)0xE0001234}) {
        SetLastError(code);
        EXPECT_EQ(1, TraceLastError("MyError:  Code"));
        EXPECT_EQ(code, GetLastError());
    }
    EXPECT_EQ(1, TestLog("Long", std::string(3000, 'm').c_str()));

    const std::string bodies[] = {"Init Missing Uninstall: OK", "Init Missing Uninstall: OK", "Lines: first  second",
                                  "MyError:  Code: 2  ", "MyError:  Code: 193  ", "MyError:  Code: -536866252",
                                  "Long: mmm"};
    std::vector<std::string> entries = TraceEntries();
    ASSERT_EQ(7u, entries.size());
    for (size_t i = 0; i < entries.size(); i++) {
        // Only the beginning is matched: the regex engine recurses per character.
        const std::string head = entries[i].substr(0, 300);
        std::smatch m;
        ASSERT_TRUE(std::regex_match(head, m, kEntry)) << "entry " << i << ": " << head;
        EXPECT_EQ(std::to_string(i + 1), m[2].str()) << "entry " << i;
        EXPECT_EQ(day.wYear, std::stoi(m[3].str())) << "entry " << i;
        // The tick count printed as signed is the same 32 bits as the unsigned count.
        EXPECT_TRUE(i >= 2 || (DWORD)std::stoll(m[1].str()) - tickBefore <= tickAfter - tickBefore) << "entry " << i;
        EXPECT_EQ(0u, m[4].str().find(bodies[i])) << "entry " << i << ": " << m[4].str();
        EXPECT_TRUE(i >= 3 || m[4].str().size() == bodies[i].size()) << "entry " << i << ": " << m[4].str();
    }
    EXPECT_NE(entries[0].substr(0, entries[0].find('=')), entries[1].substr(0, entries[1].find('=')));
    // Wine and Windows both have a text for "file not found"; its line break is dropped.
    EXPECT_TRUE(entries[3].size() > entries[3].find(": 2  ") + 8 && entries[3].back() != ' ') << entries[3];
    // The value is bounded to 2047 characters.
    std::string longValue = entries[6].substr(entries[6].find('=') + 1);
    EXPECT_EQ(2047u, longValue.size());
    EXPECT_EQ(std::string::npos, longValue.find_first_not_of('m', longValue.find(" - Long: ") + 9));

    // The formatter honours a small buffer and leaves what follows it alone.
    char small[8 + kGuardLen];
    FillGuarded(small, sizeof(small));
    FormatSystemError(ERROR_FILE_NOT_FOUND, small, 8);
    EXPECT_EQ(0, std::strncmp(small, "2  ", 3));
    EXPECT_EQ(7u, std::strlen(small));
    EXPECT_TRUE(GuardIntact(small, 8));
}

TEST_F(BrackmoorTest, HistoryNamesOfKnownAndUnknownCodes) {
    const struct { int code; const char *type, *action; } rows[] = {
        {0, "TYPE_UNKNOWN", "*START_Remove"}, {7, "MACHINE_RUNPOLICY", "TASK_Alert"},
        {16, "TYPE_UNKNOWN", "LOG_UNKNOWN"}, {27, "TYPE_UNKNOWN", "LOG_UNKNOWN"},
        {35, "BRACKMOOR_RUNSERVICESONCE", "LOG_UNKNOWN"},
        {1200, "TYPE_ACTIVEX", "LOG_UNKNOWN"}, {-1, "TYPE_UNKNOWN", "LOG_UNKNOWN"}};
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); i++) {
        EXPECT_STREQ(rows[i].type, HistoryTypeName(rows[i].code)) << "row " << i;
        EXPECT_STREQ(rows[i].action, HistoryActionName(rows[i].code)) << "row " << i;
    }
}

TEST_F(BrackmoorTest, HistoryTimeAndLineBound) {
    const struct { SYSTEMTIME t; const char *text; } rows[] = {
        {At(2015, 3, 7, 0, 5), "03/07/2015  12:05 AM"}, {At(2015, 3, 7, 12, 0), "03/07/2015  12:00 PM"},
        {At(2015, 3, 7, 13, 7), "03/07/2015  1:07 PM"}, {At(2015, 12, 31, 11, 59), "12/31/2015  11:59 AM"},
        {At(2015, 12, 31, 23, 59), "12/31/2015  11:59 PM"}, {At(999, 1, 2, 1, 0), "01/02/0999  1:00 AM"},
        {At(0, 1, 0, 10, 10), "01/00/0000  10:10 AM"},   // only an all-zero date is "never"
        {At(0, 0, 0, 10, 10), "Never"},
    };
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); i++) {
        char out[512 + kGuardLen];
        FillGuarded(out, sizeof(out));
        EXPECT_EQ(1, FormatHistoryTime(rows[i].t, out, 512)) << "row " << i;
        EXPECT_STREQ(rows[i].text, out) << "row " << i;
        EXPECT_TRUE(GuardIntact(out, 512)) << "row " << i;
    }
    // "Never" is a user-visible text: a translation replaces it.
    RegPut(HKEY_CURRENT_USER, BRACKMOOR_KEY, "LString686", "Jamais");
    UILanguage = 12;
    char out[512];
    FormatHistoryTime(At(0, 0, 0, 0, 0), out, sizeof(out));
    EXPECT_STREQ("Jamais", out);

    // Around the bound: the whole line fits in 1023 characters, or it is cut, line end too.
    const SYSTEMTIME t = At(2015, 3, 7, 13, 7);
    const std::string prefix = "03/07/2015  1:07 PM\t*START_Remove\tWIN_LOAD\tn\t";
    const size_t fits = 1023 - prefix.size() - std::strlen("\t\r\n");   // the longest path of a whole line
    const struct { size_t pathLength; const char *ending; } bound[] = {{fits, "\t\r\n"}, {fits + 1, "p\t\r"}};
    for (size_t i = 0; i < 2; i++) {
        char line[HISTORY_LINE_MAX + kGuardLen];
        FillGuarded(line, sizeof(line));
        std::string path(bound[i].pathLength, 'p');
        int n = FormatHistoryLine(&t, 0, 100, "n", path.c_str(), "", line, HISTORY_LINE_MAX);
        EXPECT_EQ(1023, n) << "bound row " << i;
        EXPECT_EQ(prefix + path.substr(0, 1020 - prefix.size()) + bound[i].ending, line) << "bound row " << i;
        EXPECT_TRUE(GuardIntact(line, HISTORY_LINE_MAX)) << "bound row " << i;
    }
}

TEST_F(BrackmoorTest, WriteLogAppendsOneLinePerCall) {
    WriteWholeFile(HistoryPath(), "earlier line\r\n");
    WriteLog(LOG_START_RESTORE, 6, "Setup", "C:\\x\\setup.exe", "detail text");
    // Unknown codes have names of their own; a tab in a name is not escaped.
    WriteLog(99, 12345, "Name\twith tab", "C:\\y.exe", "");
    // A line over the bound loses its end, line break included.
    WriteLog(LOG_START_ALERT, 3000, "n", std::string(2000, 'p').c_str(), "never written");

    std::string text = ReadWholeFile(HistoryPath());
    std::vector<std::string> lines = SplitText(text, "\r\n");   // the cut line last, without its end
    ASSERT_EQ(4u, lines.size()) << text;
    EXPECT_EQ("earlier line", lines[0]);
    const std::regex time("^[0-9]{2}/[0-9]{2}/[0-9]{4}  ([1-9]|1[0-2]):[0-5][0-9] (AM|PM)$");
    const std::string rest[] = {"\tSTART_Restore\tMACHINE_RUNONCESETUP\tSetup\tC:\\x\\setup.exe\tdetail text",
                                "\tLOG_UNKNOWN\tTYPE_UNKNOWN\tName\twith tab\tC:\\y.exe\t",
                                "\tSTART_Alert\tTYPE_UNKNOWN\tn\t" + std::string(2000, 'p')};
    for (size_t i = 1; i < 4; i++) {
        size_t tab = lines[i].find('\t');
        EXPECT_TRUE(std::regex_match(lines[i].substr(0, tab), time)) << "line " << i << ": " << lines[i];
        EXPECT_EQ(rest[i - 1].substr(0, 1023 - tab), lines[i].substr(tab)) << "line " << i;
    }
    EXPECT_EQ(text.size(), text.rfind(lines[3]) + 1023) << "the cut line has no line break";
}

TEST_F(BrackmoorTest, WriteLogHonoursTheHistoryOption) {
    const struct { const char *option; bool written; } rows[] = {{"0", false}, {"-1", false}, {"1", true}, {"", true}};
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); i++) {
        RemoveTree(HistoryPath());
        PutOption("History", rows[i].option);
        ReadOptions();
        TraceToTempFile();
        WriteLog(LOG_TASK_KILL, 600, "task.exe", "C:\\task.exe", "");
        EXPECT_EQ(rows[i].written ? 1 : 0, HistoryLinesWith({"\tTASK_Kill\tINFO_TASK\ttask.exe\t"})) << "row " << i;
        EXPECT_EQ(rows[i].written, PathExists(HistoryPath())) << "row " << i;
        EXPECT_TRUE(TraceEntries().empty()) << "row " << i;
    }
}

TEST_F(BrackmoorTest, WriteLogLosesTheLineWhileTheFileIsHeld) {
    CreateDirectoryA(DataFolder().c_str(), NULL);
    // However another program holds the file, the exclusive open fails.
    const DWORD holders[][2] = {{GENERIC_WRITE, 0}, {GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE}};
    for (size_t i = 0; i < 2; i++) {
        TraceToTempFile();
        RemoveTree(TestLogPath);
        RemoveTree(HistoryPath());
        HANDLE held = CreateFileA(HistoryPath().c_str(), holders[i][0], holders[i][1], NULL, OPEN_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, NULL);
        ASSERT_NE(INVALID_HANDLE_VALUE, held) << "row " << i;
        WriteLog(LOG_HIDDEN_DELETEFILE, 370, "lost.txt", "C:\\lost.txt", "");
        CloseHandle(held);
        EXPECT_EQ("", HistoryText()) << "row " << i;
        std::vector<std::string> entries = TraceEntries();
        ASSERT_EQ(1u, entries.size()) << "row " << i;
        // The code and the system text after it.
        size_t at = entries[0].find(" - WriteLog CreateFile: " + std::to_string(ERROR_SHARING_VIOLATION) + "  ");
        EXPECT_TRUE(at != std::string::npos && entries[0].size() > at + 30) << "row " << i << ": " << entries[0];

        // Nothing is retried; the next call after the holder let go writes normally.
        WriteLog(LOG_HIDDEN_DELETEFILE, 370, "kept.txt", "C:\\kept.txt", "");
        std::string text = HistoryText();
        EXPECT_EQ(text.find("\r\n") + 2, text.size()) << "row " << i << ": one line";
        EXPECT_NE(std::string::npos, text.find("\t*HIDDEN_DeleteFile\tTYPE_HIDDEN\tkept.txt\tC:\\kept.txt\t\r\n"))
            << "row " << i;
        EXPECT_EQ(1u, TraceEntries().size()) << "row " << i;
    }
}

namespace {

void CollectFields(char *fields[HISTORY_FIELDS], void *context) {
    static_cast<std::vector<std::vector<std::string>> *>(context)->emplace_back(fields, fields + HISTORY_FIELDS);
}

}  // namespace

TEST_F(BrackmoorTest, HistoryReadBackKeepsAPathsTabsAndReadsOnlyWholeNewestLines) {
    std::vector<std::vector<std::string>> lines;
    EXPECT_EQ(0, ReadHistoryLog(1 << 20, CollectFields, &lines)) << "no file: no lines, no failure";
    const std::string last = "t3\ta\tty\tn\tp\td\r\n";
    WriteWholeFile(HistoryPath(), std::string("t1\ta\tty\tn\tC:\\x y\t-z\tdetail\r\n") +
                                      "t2\tshort\n\r\n" + std::string("t\0zero\r\n", 8) + last);
    ASSERT_EQ(4, ReadHistoryLog(1 << 20, CollectFields, &lines));
    const std::vector<std::vector<std::string>> expected = {
        {"t1", "a", "ty", "n", "C:\\x y\t-z", "detail"},    // the tab belongs to the path
        {"t2", "short", "", "", "", ""},                    // a short line's missing fields are empty
        {"t", "", "", "", "", ""},                          // a zero ends its line only
        {"t3", "a", "ty", "n", "p", "d"},
    };
    EXPECT_EQ(expected, lines);
    // The newest part only: the line the limit cuts is left out.
    lines.clear();
    EXPECT_EQ(1, ReadHistoryLog((DWORD)last.size() + 3, CollectFields, &lines));
    EXPECT_EQ(std::vector<std::vector<std::string>>{expected.back()}, lines);
}
