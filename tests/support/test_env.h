// Shared test fixture: every test starts from, and leaves, a clean state of the
// system's own keys (HKCU and HKLM "Software\Dunmere Works", both views) and of
// its data folder, with the process-wide settings back at their start values.
#pragma once
#include <windows.h>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "common/runlist.h"

// A run list for the length of a test scope; converts to the RunList * the code takes.
struct OwnedRunList {
    RunList *list = NewRunList();
    OwnedRunList() = default;
    OwnedRunList(const OwnedRunList &) = delete;
    OwnedRunList &operator=(const OwnedRunList &) = delete;
    ~OwnedRunList() { DeleteRunList(list); }
    operator RunList *() const { return list; }
    RunList *operator->() const { return list; }
};

// One record of a run list as text; every record of a list, in its order.
struct RunRecord {
    std::string name, path, source, details;
    int code, extra;
};
std::vector<RunRecord> RunRecords(const RunList *list);

void CleanSystemState();
// The process-wide state of the monitor's code back to a fresh start with defaults.
void ResetProcessState();

class BrackmoorTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
};

const HKEY HKLM = HKEY_LOCAL_MACHINE, HKCU = HKEY_CURRENT_USER;
const REGSAM k32 = KEY_WOW64_32KEY, k64 = KEY_WOW64_64KEY;

// Registry helpers that bypass the code under test. view: 0, KEY_WOW64_32KEY or KEY_WOW64_64KEY.
std::string RegText(HKEY root, const char *path, const char *name, REGSAM view = 0);
bool RegHasValue(HKEY root, const char *path, const char *name, REGSAM view = 0);
bool RegHasKey(HKEY root, const char *path, REGSAM view = 0);
void RegPut(HKEY root, const char *path, const char *name, const char *text, REGSAM view = 0,
            DWORD type = REG_SZ);
void RegPutDword(HKEY root, const char *path, const char *name, DWORD value, REGSAM view = 0);
void RegPutBinary(HKEY root, const char *path, const char *name, const void *data, DWORD size,
                  DWORD type, REGSAM view = 0);
void RegDeleteTreeView(HKEY root, const char *path, REGSAM view = 0);
void RegRemoveValue(HKEY root, const char *path, const char *name, REGSAM view = 0);
void PutOption(const char *name, const char *text);   // under the options key
// The online lookups' addresses recorded instead of opened (into, until called
// with NULL, which puts the shell's opener back).
void RecordKeelRequests(std::vector<std::string> *into);

// A string of the program's table, as LoadStringA gives it (no translation).
std::string LangText(UINT id);
// The string's first two "%s" replaced by a and b.
std::string LangFilled(UINT id, const std::string &a, const std::string &b);

// Folders and files.
std::string DataFolder();          // the application-data folder + "\Brackmoor"
std::string BinFolder();           // where the test program, brackmoor.exe and the DLL lie
std::string ThisProgram();         // the test program's own path
std::string WindowsFolder();
std::string SystemFolder();
std::string Upper(std::string text);   // upper-cased as the system does it
bool SameText(const std::string &a, const std::string &b);   // equal without regard to case
std::string TempFolder();          // a fresh folder for this test, removed by the fixture
std::string ReadWholeFile(const std::string &path);
void WriteWholeFile(const std::string &path, const std::string &text);   // its folders made first
bool PathExists(const std::string &path);
// Sets a file's last-write time (in FILETIME units); false when it cannot.
bool SetWriteTime(const std::string &path, ULONGLONG time);
void RemoveTree(const std::string &path);
// Turns the trace log on (counter 0) into a fresh file of TempFolder().
void TraceToTempFile();
// The trace log's entries ("key=value" lines of section TestLog), in file order.
std::vector<std::string> TraceEntries();
bool TraceHas(const std::string &part);
// The number of trace entries that hold the part.
int TraceCount(const std::string &part);
// The parts of a text between the separators (one more than there are separators).
std::vector<std::string> SplitText(const std::string &text, const std::string &separator);
// The history log's lines, each split at its tabs into its fields.
std::vector<std::vector<std::string>> HistoryLines();

// Processes: start a whole command line ("program" arguments; folder "": the program's
// own), or a program of BinFolder() with arguments; wait for it to end.
HANDLE StartCommand(const std::string &commandLine, const std::string &folder = "", DWORD *pid = nullptr);
HANDLE StartProgram(const std::string &exe, const std::string &args, DWORD *pid = nullptr);
bool WaitExit(HANDLE process, DWORD ms, DWORD *exitCode = nullptr);
DWORD RunProgramWait(const std::string &exe, const std::string &args, DWORD ms);
HWND WaitForWindow(const char *className, const char *title, DWORD ms);
// Polls until the condition holds; false after ms (by default long enough for a program
// start or a pass under a busy Wine).
template <typename Condition> bool WaitUntil(Condition condition, DWORD ms = 120000)
{
    for (DWORD start = GetTickCount(); !condition(); Sleep(100))
        if (GetTickCount() - start > ms)
            return false;
    return true;
}
// The processes of this image name, and ending them all (not the test itself).
std::vector<DWORD> ProcessesNamed(const char *exeName);
void KillProgramsNamed(const char *exeName);
