#include "support/test_env.h"

#include <psapi.h>
#include <shlobj.h>
#include <tlhelp32.h>
#include <stdio.h>
#include <string.h>

#include "common/registry.h"
#include "common/text.h"
#include "common/tracelog.h"
#include "ui/alert.h"
#include "common/appstate.h"
#include "ui/tray.h"
#include "common/options.h"
#include "common/runlist.h"
#include "online/keel_info.h"

static const REGSAM kViews[] = {KEY_WOW64_64KEY, KEY_WOW64_32KEY};

void RegDeleteTreeView(HKEY root, const char *path, REGSAM view)
{
    std::string parent(path), leaf;
    size_t cut = parent.rfind('\\');
    if (cut == std::string::npos) {
        leaf = parent;
        parent.clear();
    } else {
        leaf = parent.substr(cut + 1);
        parent.resize(cut);
    }
    HKEY key;
    if (RegOpenKeyExA(root, parent.empty() ? NULL : parent.c_str(), 0, KEY_ALL_ACCESS | view, &key) != ERROR_SUCCESS)
        return;
    RegDeleteTreeA(key, leaf.c_str());
    RegCloseKey(key);
}

std::string LangText(UINT id)
{
    char text[2048];
    int n = LoadStringA(GetModuleHandleA(NULL), id, text, sizeof(text));
    return std::string(text, n > 0 ? n : 0);
}

std::string LangFilled(UINT id, const std::string &a, const std::string &b)
{
    std::string text = LangText(id);
    for (const std::string *part : {&a, &b}) {
        size_t at = text.find("%s");
        if (at != std::string::npos)
            text.replace(at, 2, *part);
    }
    return text;
}

std::string DataFolder()
{
    char buf[MAX_PATH] = "";
    DWORD size = sizeof(buf);
    RegGetValueA(HKEY_CURRENT_USER, "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
                 "AppData", RRF_RT_REG_SZ, NULL, buf, &size);
    return std::string(buf) + "\\Brackmoor";
}

std::string ThisProgram()
{
    char buf[MAX_PATH];
    return std::string(buf, GetModuleFileNameA(NULL, buf, sizeof(buf)));
}

std::string BinFolder()
{
    std::string p = ThisProgram();
    return p.substr(0, p.rfind('\\'));
}

std::string WindowsFolder()
{
    char buf[MAX_PATH];
    return std::string(buf, GetWindowsDirectoryA(buf, MAX_PATH));
}

std::string SystemFolder()
{
    char buf[MAX_PATH];
    return std::string(buf, GetSystemDirectoryA(buf, MAX_PATH));
}

std::string Upper(std::string text)
{
    CharUpperBuffA(&text[0], (DWORD)text.size());
    return text;
}

bool SameText(const std::string &a, const std::string &b)
{
    return lstrcmpiA(a.c_str(), b.c_str()) == 0;
}

static std::string &CurrentTempFolder()
{
    static std::string folder;
    return folder;
}

std::string TempFolder()
{
    std::string &folder = CurrentTempFolder();
    if (folder.empty()) {
        char base[MAX_PATH];
        GetTempPathA(sizeof(base), base);
        char name[64];
        FormatText(name, sizeof(name), "bm-test-%lu-%lu", GetCurrentProcessId(), GetTickCount());
        folder = std::string(base) + name;
        CreateDirectoryA(folder.c_str(), NULL);
    }
    return folder;
}

void RemoveTree(const std::string &path)
{
    DWORD attr = GetFileAttributesA(path.c_str());
    if (attr == INVALID_FILE_ATTRIBUTES)
        return;
    if (!(attr & FILE_ATTRIBUTE_DIRECTORY)) {
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(path.c_str());
        return;
    }
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((path + "\\*").c_str(), &fd);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            if (!strcmp(fd.cFileName, ".") || !strcmp(fd.cFileName, ".."))
                continue;
            RemoveTree(path + "\\" + fd.cFileName);
        } while (FindNextFileA(h, &fd));
        FindClose(h);
    }
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    RemoveDirectoryA(path.c_str());
}

void ResetProcessState()
{
    hInstance = GetModuleHandleA(NULL);
    LoadStringA(hInstance, 1, gszClassName, sizeof(gszClassName));
    LoadStringA(hInstance, 2, gszTitle, sizeof(gszTitle));
    DetectIs64BitWindows();
    RegReadAccess = KEY_READ;
    RegWriteAccess = KEY_ALL_ACCESS;
    UILanguage = 9;
    bMsgOpen = 0;
    AlertCount = 0;
    HideChoice = ANSWER_ACCEPT;
    giHelpPageId = 0;
    bIconShown = 0;
    ReadOptions();                  // every option back at its default
    TestLogCounter = TESTLOG_OFF;
    FormatText(TestLogPath, sizeof(TestLogPath), "%s\\send2vorn.txt", DataFolder().c_str());
}

void CleanSystemState()
{
    for (REGSAM view : kViews) {
        RegDeleteTreeView(HKEY_CURRENT_USER, "Software\\Dunmere Works", view);
        RegDeleteTreeView(HKEY_LOCAL_MACHINE, "Software\\Dunmere Works", view);
    }
    // The monitor's own footprints outside its keys.
    for (REGSAM view : kViews) {
        RegRemoveValue(HKEY_CURRENT_USER, "Software\\Microsoft\\Windows\\CurrentVersion\\Run", "Brackmoor", view);
        RegRemoveValue(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion\\Run", "Brackmoor", view);
    }
    RegDeleteTreeView(HKEY_CLASSES_ROOT, "exefile\\shell\\Brackmoor KEEL");
    RemoveTree(DataFolder());
    std::string &temp = CurrentTempFolder();
    if (!temp.empty()) {
        RemoveTree(temp);
        temp.clear();
    }
}

void BrackmoorTest::SetUp()
{
    CleanSystemState();
    ResetProcessState();
}

void BrackmoorTest::TearDown()
{
    CleanSystemState();
}

static bool OpenView(HKEY root, const char *path, REGSAM access, REGSAM view, HKEY *key)
{
    return RegOpenKeyExA(root, path, 0, access | view, key) == ERROR_SUCCESS;
}

std::string RegText(HKEY root, const char *path, const char *name, REGSAM view)
{
    HKEY key;
    if (!OpenView(root, path, KEY_READ, view, &key))
        return std::string();
    char buf[4096];
    DWORD size = sizeof(buf) - 1, type = 0;
    std::string out;
    if (RegQueryValueExA(key, name, NULL, &type, (BYTE *)buf, &size) == ERROR_SUCCESS) {
        buf[size] = '\0';
        out = buf;   // up to the first NUL
    }
    RegCloseKey(key);
    return out;
}

bool RegHasValue(HKEY root, const char *path, const char *name, REGSAM view)
{
    HKEY key;
    if (!OpenView(root, path, KEY_READ, view, &key))
        return false;
    bool found = RegQueryValueExA(key, name, NULL, NULL, NULL, NULL) == ERROR_SUCCESS;
    RegCloseKey(key);
    return found;
}

bool RegHasKey(HKEY root, const char *path, REGSAM view)
{
    HKEY key;
    if (!OpenView(root, path, KEY_READ, view, &key))
        return false;
    RegCloseKey(key);
    return true;
}

void RegPutBinary(HKEY root, const char *path, const char *name, const void *data, DWORD size,
                  DWORD type, REGSAM view)
{
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(root, path, 0, NULL, 0, KEY_ALL_ACCESS | view, NULL, &key, NULL))
        << path;
    EXPECT_EQ(ERROR_SUCCESS, RegSetValueExA(key, name, 0, type, (const BYTE *)data, size)) << name;
    RegCloseKey(key);
}

void RegPut(HKEY root, const char *path, const char *name, const char *text, REGSAM view, DWORD type)
{
    RegPutBinary(root, path, name, text, (DWORD)strlen(text) + 1, type, view);
}

void RegPutDword(HKEY root, const char *path, const char *name, DWORD value, REGSAM view)
{
    RegPutBinary(root, path, name, &value, sizeof(value), REG_DWORD, view);
}

void RegRemoveValue(HKEY root, const char *path, const char *name, REGSAM view)
{
    HKEY key;
    if (!OpenView(root, path, KEY_SET_VALUE, view, &key))
        return;
    RegDeleteValueA(key, name);
    RegCloseKey(key);
}

void PutOption(const char *name, const char *text)
{
    RegPut(HKEY_CURRENT_USER, OPTIONS_KEY, name, text);
}

std::string ReadWholeFile(const std::string &path)
{
    std::string out;
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                           OPEN_EXISTING, 0, NULL);
    if (h == INVALID_HANDLE_VALUE)
        return out;
    char buf[8192];
    DWORD got;
    while (ReadFile(h, buf, sizeof(buf), &got, NULL) && got)
        out.append(buf, got);
    CloseHandle(h);
    return out;
}

void WriteWholeFile(const std::string &path, const std::string &text)
{
    for (size_t cut = path.find('\\', 3); cut != std::string::npos; cut = path.find('\\', cut + 1))
        CreateDirectoryA(path.substr(0, cut).c_str(), NULL);   // the folders on its way, where missing
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, h) << path;
    DWORD put = 0;
    WriteFile(h, text.data(), (DWORD)text.size(), &put, NULL);
    CloseHandle(h);
}

bool PathExists(const std::string &path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool SetWriteTime(const std::string &path, ULONGLONG time)
{
    HANDLE h = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    FILETIME ft = {(DWORD)time, (DWORD)(time >> 32)};
    bool set = h != INVALID_HANDLE_VALUE && SetFileTime(h, NULL, NULL, &ft);
    if (h != INVALID_HANDLE_VALUE)
        CloseHandle(h);
    return set;
}

void TraceToTempFile()
{
    TestLogCounter = 0;
    FormatText(TestLogPath, sizeof(TestLogPath), "%s\\trace.txt", TempFolder().c_str());
}

std::vector<std::string> TraceEntries()
{
    std::vector<std::string> lines;
    for (std::string line : SplitText(ReadWholeFile(TestLogPath), "\n")) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!line.empty() && line[0] != '[')
            lines.push_back(line);
    }
    return lines;
}

int TraceCount(const std::string &part)
{
    int n = 0;
    for (const std::string &line : TraceEntries())
        n += line.find(part) != std::string::npos;
    return n;
}

bool TraceHas(const std::string &part)
{
    return TraceCount(part) > 0;
}

HANDLE StartCommand(const std::string &commandLine, const std::string &folder, DWORD *pid)
{
    std::string line = commandLine, program = line.substr(1, line.find('"', 1) - 1);
    std::string where = folder.empty() ? program.substr(0, program.rfind('\\')) : folder;
    STARTUPINFOA si = {};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessA(NULL, &line[0], NULL, NULL, FALSE, 0, NULL, where.c_str(), &si, &pi))
        return NULL;
    CloseHandle(pi.hThread);
    if (pid)
        *pid = pi.dwProcessId;
    return pi.hProcess;
}

HANDLE StartProgram(const std::string &exe, const std::string &args, DWORD *pid)
{
    return StartCommand("\"" + BinFolder() + "\\" + exe + "\" " + args, BinFolder(), pid);
}

bool WaitExit(HANDLE process, DWORD ms, DWORD *exitCode)
{
    if (!process)
        return false;
    bool ended = WaitForSingleObject(process, ms) == WAIT_OBJECT_0;
    if (ended && exitCode)
        GetExitCodeProcess(process, exitCode);
    return ended;
}

DWORD RunProgramWait(const std::string &exe, const std::string &args, DWORD ms)
{
    HANDLE h = StartProgram(exe, args);
    DWORD code = (DWORD)-1;
    if (!WaitExit(h, ms, &code)) {
        if (h)
            TerminateProcess(h, 99);
        code = (DWORD)-2;
    }
    if (h)
        CloseHandle(h);
    return code;
}

HWND WaitForWindow(const char *className, const char *title, DWORD ms)
{
    DWORD start = GetTickCount();
    for (;;) {
        HWND w = FindWindowA(className, title);
        if (w || GetTickCount() - start > ms)
            return w;
        Sleep(50);
    }
}

std::vector<DWORD> ProcessesNamed(const char *exeName)
{
    std::vector<DWORD> pids;
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32 pe = {};
    pe.dwSize = sizeof(pe);
    for (BOOL ok = Process32First(snap, &pe); ok; ok = Process32Next(snap, &pe))
        if (lstrcmpiA(pe.szExeFile, exeName) == 0)
            pids.push_back(pe.th32ProcessID);
    CloseHandle(snap);
    return pids;
}

void KillProgramsNamed(const char *exeName)
{
    for (DWORD pid : ProcessesNamed(exeName)) {
        HANDLE p = pid == GetCurrentProcessId() ? NULL : OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid);
        if (p) {
            TerminateProcess(p, 1);
            WaitForSingleObject(p, 5000);
            CloseHandle(p);
        }
    }
}

std::vector<std::string> SplitText(const std::string &text, const std::string &separator)
{
    std::vector<std::string> parts;
    size_t from = 0;
    for (size_t at; (at = text.find(separator, from)) != std::string::npos; from = at + separator.size())
        parts.push_back(text.substr(from, at - from));
    parts.push_back(text.substr(from));
    return parts;
}

std::vector<std::vector<std::string>> HistoryLines()
{
    std::vector<std::string> lines = SplitText(ReadWholeFile(DataFolder() + "\\history.txt"), "\r\n");
    lines.pop_back();   // after the last line end
    std::vector<std::vector<std::string>> out;
    for (const std::string &line : lines)
        out.push_back(SplitText(line, "\t"));
    return out;
}

std::vector<RunRecord> RunRecords(const RunList *list)
{
    std::vector<RunRecord> out;
    char name[RUN_NAME_MAX], path[MAX_PATH], source[MAX_PATH], details[RUN_DETAILS_MAX];
    for (int i = 0; i < list->count; i++) {
        GetRunName(list, i, name);
        GetRunPath(list, i, path);
        GetRunSourcePath(list, i, source);
        GetRunDetails(list, i, details);
        out.push_back({name, path, source, details, GetRunCode(list, i), GetRunExtra(list, i)});
    }
    return out;
}

static std::vector<std::string> *gKeelRequests;

static INT_PTR RecordKeelRequest(const char *target, int)
{
    if (gKeelRequests)
        gKeelRequests->push_back(target);
    return 33;   // what the shell answers for success
}

void RecordKeelRequests(std::vector<std::string> *into)
{
    gKeelRequests = into;
    KeelOpener = into ? RecordKeelRequest : KeelOpenWithShell;
}
