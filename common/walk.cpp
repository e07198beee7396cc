// Recursive folder walks, and the walk over the system folders in which the
// hidden-files watcher looks for newcomers.
#include "common/files.h"

#include <string.h>

#include "common/registry.h"
#include "common/text.h"

int giWalkMode;

int IsDotEntry(const char *name)
{
    return strcmp(name, ".") == 0 || strcmp(name, "..") == 0;
}

// 1 when the callback stopped the walk, so that the enclosing levels stop too.
static int WalkLevel(char *folder, WalkCallback callback, int depth, void *arg)
{
    size_t len = strlen(folder);
    if (len == 0)
        return 0;   // "" + "\*.*" would walk the root of the current drive
    if (folder[len - 1] != '\\' && !AppendText(folder, MAX_PATH, "\\"))
        return 0;
    char pattern[MAX_PATH];
    if (!FormatText(pattern, CAP(pattern), "%s*.*", folder))
        return 0;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern, &found);
    if (search == INVALID_HANDLE_VALUE)
        return 0;
    int stopped = 0;
    do {
        if (IsDotEntry(found.cFileName))
            continue;
        char full[MAX_PATH];
        // An entry whose path does not fit could be neither opened nor removed.
        if (!FormatText(full, CAP(full), "%s%s", folder, found.cFileName))
            continue;
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && found.cFileName[0] != '.' &&
            depth > 0) {
            char child[MAX_PATH];
            CopyText(child, CAP(child), full);
            if (WalkLevel(child, callback, depth - 1, arg)) {
                stopped = 1;
                break;
            }
        }
        if (callback && callback(full, &found, arg)) {
            stopped = 1;
            break;
        }
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return stopped;
}

int WalkFolder(char *folder, WalkCallback callback, int depth, void *arg)
{
    if (!folder)
        return 0;
    WalkLevel(folder, callback, depth, arg);
    return 0;
}

static void WalkOne(const char *folder, WalkCallback callback, int depth, void *arg)
{
    char work[MAX_PATH];
    if (folder[0] && CopyText(work, CAP(work), folder))
        WalkFolder(work, callback, depth, arg);
}

void WalkSystemFolders(WalkCallback callback, void *arg)
{
    giWalkMode = WALK_SYSTEM;
    PVOID redirection;
    DisableFsRedirection(&redirection);

    char windows[MAX_PATH] = "", system[MAX_PATH] = "", common[MAX_PATH] = "", temp[MAX_PATH] = "";
    UINT n = GetWindowsDirectoryA(windows, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        windows[0] = '\0';
    n = GetSystemDirectoryA(system, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        system[0] = '\0';
    GetRegString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion", "CommonFilesDir",
                 common, MAX_PATH);
    DWORD t = GetTempPathA(MAX_PATH, temp);
    if (t == 0 || t >= MAX_PATH)
        temp[0] = '\0';
    // The temporary folder often comes in its short form ("ADMINI~1"); the paths
    // met below it name files in baselines and must be the ones the user sees.
    char longTemp[MAX_PATH];
    if (temp[0] && GetLongPath(temp, longTemp) > 0)
        CopyText(temp, CAP(temp), longTemp);
    size_t tlen = strlen(temp);
    if (tlen > 0 && temp[tlen - 1] == '\\')
        temp[tlen - 1] = '\0';

    WalkOne("C:\\", callback, 0, arg);
    WalkOne(windows, callback, 0, arg);
    WalkOne(system, callback, 1, arg);
    WalkOne(common, callback, 1, arg);
    WalkOne(temp, callback, 1, arg);
    if (Is64BitWindows && system[0]) {
        // Where drivers and the hosts file live; with redirection off these are
        // the 64-bit folders even for a 32-bit monitor.
        static const char *const Subfolders[] = {"\\SysWOW64", "\\drivers\\etc", "\\drivers", "\\config"};
        for (const char *sub : Subfolders) {
            char folder[MAX_PATH];
            if (FormatText(folder, CAP(folder), "%s%s", system, sub))
                WalkOne(folder, callback, 1, arg);
        }
        // The 32-bit system folder lies beside the system folder, not inside it.
        char wow64[MAX_PATH];
        n = GetSystemWow64DirectoryA(wow64, MAX_PATH);
        if (n > 0 && n < MAX_PATH)
            WalkOne(wow64, callback, 1, arg);
    }
    RevertFsRedirection(redirection);
}
