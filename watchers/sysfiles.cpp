// The system file watcher: the HOSTS record taken at the first start, its check on
// every run of the category, and Notepad on the new or the previous file.
#include "watchers/sysfiles.h"

#include <shellapi.h>
#include <string.h>

#include "common/appstate.h"
#include "common/files.h"
#include "common/registry.h"
#include "common/text.h"
#include "common/tracelog.h"
#include "common/winver.h"
#include "resources/resource.h"
#include "ui/alert.h"
#include "ui/tray.h"

#define HOSTS_COMMENT "HOST file can be used to protect or redirect domain access."
#define TIP_SYSFILES 828
#define WINDOWS_FOLDER_MAX 255      // the 9x HOSTS path keeps the Windows folder to 254 characters
#define MARKER_MAX 64
#define COMPARE_CHUNK 65536

int GetHostsPath(char *out)
{
    char folder[MAX_PATH];
    UINT n;
    const char *tail;
    out[0] = '\0';
    if (IsNTPlatform()) {
        n = GetSystemDirectoryA(folder, MAX_PATH);
        tail = "\\drivers\\etc\\HOSTS";
    } else {
        n = GetWindowsDirectoryA(folder, WINDOWS_FOLDER_MAX);
        tail = "\\HOSTS";
    }
    if (n == 0 || n >= WINDOWS_FOLDER_MAX || !FormatText(out, MAX_PATH, "%s%s", folder, tail)) {
        out[0] = '\0';
        return 0;
    }
    return (int)strlen(out);
}

int SysfilePreviousCopy(const char *name, char *out)
{
    char folder[MAX_PATH];
    if (!GetMyFolder(folder) || !FormatText(out, MAX_PATH, "%s\\%s", folder, name)) {
        out[0] = '\0';
        return 0;
    }
    return (int)strlen(out);
}

int SysfileRecordKey(const char *name, char *out)
{
    return FormatText(out, MAX_PATH, "%s\\%s", SYSFILES_KEY, name);
}

static int ReadRecord(const char *name, const char *value, char *out)
{
    char key[MAX_PATH];
    out[0] = '\0';
    return SysfileRecordKey(name, key) ? GetRegString(HKEY_LOCAL_MACHINE, key, value, out, SYSFILE_VALUE_MAX) : 0;
}

static int WriteRecord(const char *name, const char *value, const char *text)
{
    char key[MAX_PATH];
    return SysfileRecordKey(name, key) && SetRegString(HKEY_LOCAL_MACHINE, key, value, text);
}

int CopySysfile(const char *from, const char *to)
{
    PVOID redirection;
    DisableFsRedirection(&redirection);
    DWORD fromAttributes = GetFileAttributesA(from), toAttributes = GetFileAttributesA(to);
    if (fromAttributes != INVALID_FILE_ATTRIBUTES && (fromAttributes & FILE_ATTRIBUTE_READONLY))
        SetFileAttributesA(from, fromAttributes & ~FILE_ATTRIBUTE_READONLY);
    if (toAttributes != INVALID_FILE_ATTRIBUTES && (toAttributes & FILE_ATTRIBUTE_READONLY))
        SetFileAttributesA(to, toAttributes & ~FILE_ATTRIBUTE_READONLY);
    int copied = CopyFileA(from, to, FALSE) != 0;
    if (!copied)
        TraceLastError("MyError:  SysfilesDlgProc CopyFile");
    if (fromAttributes != INVALID_FILE_ATTRIBUTES)
        SetFileAttributesA(from, fromAttributes);
    if (toAttributes != INVALID_FILE_ATTRIBUTES)
        SetFileAttributesA(to, toAttributes);
    RevertFsRedirection(redirection);
    return copied;
}

int RecordHostsFile(const char *path)
{
    char key[MAX_PATH], date[FILE_TIME_TEXT_MAX], size[FILE_TIME_TEXT_MAX], copy[MAX_PATH];
    if (!SysfileRecordKey(HOSTS_RECORD, key) || !CreateRegKey(HKEY_LOCAL_MACHINE, key)) {
        TestLog("MyError:  RecordHostsFile RegCreateKeyEx", key);
        return 0;
    }
    if (!GetFileDateSize(path, date, size)) {
        TestLog("RecordHostsFile no file", path);
        return 0;
    }
    int written = WriteRecord(HOSTS_RECORD, "Date", date) && WriteRecord(HOSTS_RECORD, "Size", size) &&
                  WriteRecord(HOSTS_RECORD, "Type", "0") && WriteRecord(HOSTS_RECORD, "Comment", HOSTS_COMMENT) &&
                  WriteRecord(HOSTS_RECORD, "Location", path);
    return written && SysfilePreviousCopy(HOSTS_RECORD, copy) && CopySysfile(path, copy);
}

void InitSysfiles(void)
{
    char text[MARKER_MAX];
    if (GetRegString(HKEY_LOCAL_MACHINE, SYSFILES_KEY, "", text, CAP(text)) > 0)
        return;
    TestLog("GetInitalValues", "Create REGBRACKMOORSYSFILES Keys");
    CreateRegKey(HKEY_LOCAL_MACHINE, SYSFILES_KEY);
    TestLog("GetHOSTSFile", "");
    char hosts[MAX_PATH];
    // The marker says the record exists; without it the next start tries again,
    // so a HOSTS file is never left without a record and a copy to go back to.
    if (!GetHostsPath(hosts) || !RecordHostsFile(hosts)) {
        TestLog("GetHOSTSFile", "no record taken");
        return;
    }
    SYSTEMTIME now;
    GetLocalTime(&now);
    FormatDateLocal(&now, text);
    SetRegString(HKEY_LOCAL_MACHINE, SYSFILES_KEY, "", text);
}

// 1 when the two files' contents differ or cannot both be read.
static int FilesDiffer(const char *a, const char *b)
{
    int differ = 1;
    PVOID redirection;
    DisableFsRedirection(&redirection);
    HANDLE first = CreateFileA(a, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING, 0, NULL);
    HANDLE second = CreateFileA(b, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING, 0, NULL);
    BYTE *buffers = (BYTE *)HeapAlloc(GetProcessHeap(), 0, 2 * COMPARE_CHUNK);
    if (first != INVALID_HANDLE_VALUE && second != INVALID_HANDLE_VALUE && buffers) {
        for (;;) {
            DWORD got1 = 0, got2 = 0;
            if (!ReadFile(first, buffers, COMPARE_CHUNK, &got1, NULL) ||
                !ReadFile(second, buffers + COMPARE_CHUNK, COMPARE_CHUNK, &got2, NULL) || got1 != got2 ||
                memcmp(buffers, buffers + COMPARE_CHUNK, got1) != 0)
                break;
            if (got1 == 0) {
                differ = 0;
                break;
            }
        }
    }
    if (buffers)
        HeapFree(GetProcessHeap(), 0, buffers);
    if (first != INVALID_HANDLE_VALUE)
        CloseHandle(first);
    if (second != INVALID_HANDLE_VALUE)
        CloseHandle(second);
    RevertFsRedirection(redirection);
    return differ;
}

int CompareSysfiles(const char *path, const char *name)
{
    TestLog("CompareSysfiles", path);
    char date[FILE_TIME_TEXT_MAX], size[FILE_TIME_TEXT_MAX];
    if (!GetFileDateSize(path, date, size))
        return 0;
    char type[SYSFILE_VALUE_MAX], storedDate[SYSFILE_VALUE_MAX], storedSize[SYSFILE_VALUE_MAX];
    ReadRecord(name, "Type", type);
    if (ReadRecord(name, "Size", storedSize) <= 0 || TextToInt(storedSize) == 0) {
        WriteRecord(name, "Size", size);
        CopyText(storedSize, CAP(storedSize), size);
    }
    if (ReadRecord(name, "Date", storedDate) <= 0) {
        WriteRecord(name, "Date", date);
        return 0;
    }
    int dateChanged = strcmp(storedDate, date) != 0, sizeChanged = strcmp(storedSize, size) != 0;
    if (!dateChanged && !sizeChanged)
        return 0;
    // A different size is always a change, even within the minute the date text
    // shows. A file of type 0 written again with the same size (an editor or a
    // tool saving it unchanged) is one only when its contents differ from the
    // previous copy; the new date is then kept, so the file is not read again
    // until it is written again.
    if (!sizeChanged && TextToInt(type) == 0) {
        char copy[MAX_PATH];
        if (SysfilePreviousCopy(name, copy) && !FilesDiffer(path, copy)) {
            WriteRecord(name, "Date", date);
            return 0;
        }
    }
    // Held back while system-file alerts are hidden: the record stays as it is, so
    // the change is found again at every check until it is answered.
    if (giHideSystemFiles != 0 && giShowAlerts == 0) {
        SetTrayStatus(TRAY_ICON_BUSY, TIP_SYSFILES);
        return 1;
    }
    SysfileAlert alert;
    CopyText(alert.name, CAP(alert.name), name);
    CopyText(alert.path, CAP(alert.path), path);
    RunAlert(IDD_SYSFILES, SysfilesDlgProc, (LPARAM)&alert, 0, TIP_SYSFILES, 0);
    return 1;
}

int CheckSysfiles(ScanPass *pass)
{
    (void)pass;
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, SYSFILES_KEY, 0, RegReadAccess, &key) != ERROR_SUCCESS)
        return 0;
    int changes = 0;
    char name[256], location[SYSFILE_VALUE_MAX];
    for (DWORD i = 0;; i++) {
        DWORD length = sizeof(name);
        LONG rc = RegEnumKeyExA(key, i, name, &length, NULL, NULL, NULL, NULL);
        if (rc == ERROR_MORE_DATA) {
            TestLog("CheckSysfiles", "a record name too long is skipped");
            continue;
        }
        if (rc != ERROR_SUCCESS)
            break;
        // A record without a location (monitoring stopped from its alert) is kept
        // but no longer compared.
        if (ReadRecord(name, "Location", location) > 0 && strlen(location) < MAX_PATH)
            changes += CompareSysfiles(location, name);
    }
    RegCloseKey(key);
    return changes;
}

int ViewsysFile(const char *path)
{
    TestLog("ViewsysFile", path);
    DWORD error = ERROR_FILE_NOT_FOUND;
    char parameters[MAX_PATH + 2];
    if (path && path[0] && GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES &&
        FormatText(parameters, CAP(parameters), "\"%s\"", path)) {
        INT_PTR result = (INT_PTR)ShellExecuteA(NULL, "open", "notepad.exe", parameters, NULL, SW_SHOWNORMAL);
        if (result > 32)
            return 1;
        error = GetLastError() ? GetLastError() : (DWORD)result;
    }
    char text[512];
    FormatSystemError(error, text, CAP(text));
    if (TraceConfigured()) {
        TestLog("GetLastError:  =  ", text);
        TestLog("GetMyFileTime  GetFileTime ---  ", path ? path : "");
    }
    MessageBoxExA(NULL, text, gszTitle, MB_ICONINFORMATION | MB_TOPMOST, UILanguage);
    return 0;
}
