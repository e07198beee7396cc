// The file type and hidden file steps against the reads they cannot avoid, on the
// 31 monitored types (the ones the prefix lacks are registered for the run) and a
// system folder tree of 5,000 more files (one in ten hidden), made here and removed
// again by RemoveTypesAndHidden.
//
// - VerifyFileTypes against the bare reads of every monitored type: its class by
//   the machine's classes and by the user's choice, the open command of each class
//   found, and the recorded class and program of each;
// - VerifyHiddenFiles against a bare FindFirstFile/FindNextFile walk of the same
//   folders to the same depths, with the baseline lookup of each hidden file.
#include "bench/bench_clock.h"
#include "bench/bench_types_hidden.h"

#include <windows.h>
#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

#include "common/file_facts.h"
#include "common/options.h"
#include "common/registry.h"
#include "common/text.h"
#include "watchers/filetypes.h"
#include "watchers/hidden.h"

#define TREE_FILES 5000
#define HIDDEN_EVERY 10

static std::vector<std::string> gTypes;              // ".avi" ...
static std::vector<std::pair<HKEY, std::string>> gMadeKeys;
struct ChangedValue {
    HKEY root;
    std::string path, name, old;
};
static std::vector<ChangedValue> gChangedValues;
static std::string gTree;

static std::string ReadValue(HKEY root, const std::string &path, const char *name)
{
    HKEY key;
    char data[1024];
    DWORD size = sizeof(data) - 1;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return "";
    LONG rc = RegQueryValueExA(key, name, NULL, NULL, (BYTE *)data, &size);
    RegCloseKey(key);
    data[rc == ERROR_SUCCESS ? size : 0] = '\0';
    return data;
}

static bool KeyExists(HKEY root, const std::string &path)
{
    HKEY key;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

// Writes a value; what did not exist before is removed again afterwards (the first
// missing key along the path), a value of a key that existed gets its old text back.
static void PutValue(HKEY root, const std::string &path, const char *name, const std::string &text)
{
    size_t cut = 0;
    while (cut != std::string::npos) {
        cut = path.find('\\', cut + 1);
        if (!KeyExists(root, path.substr(0, cut))) {
            gMadeKeys.emplace_back(root, path.substr(0, cut));
            break;
        }
    }
    if (cut == std::string::npos)
        gChangedValues.push_back({root, path, name, ReadValue(root, path, name)});
    SetRegString(root, path.c_str(), name, text.c_str());
}

static void BareFileTypeReads(void)
{
    for (const std::string &ext : gTypes) {
        std::string cls = ReadValue(HKEY_LOCAL_MACHINE, "Software\\Classes\\" + ext, NULL);
        ReadValue(HKEY_LOCAL_MACHINE, "Software\\Classes\\" + cls + "\\shell\\open\\command", NULL);
        std::string user = std::string(FILEEXTS_KEY) + "\\" + ext;
        ReadValue(HKEY_CURRENT_USER, user, "Application");
        std::string progId = ReadValue(HKEY_CURRENT_USER, user, "ProgID");
        ReadValue(HKEY_CLASSES_ROOT, progId + "\\shell\\open\\command", NULL);
        for (const char *key : {FILETYPE_EXT_KEY, FILETYPE_EXTPROGID_KEY})
            ReadValue(HKEY_CURRENT_USER, key, ext.c_str());
        ReadValue(HKEY_CURRENT_USER, FILETYPE_CLASS_KEY, cls.c_str());
    }
}

static void FileTypeStep(void)
{
    VerifyFileTypes(NULL);
}

static HKEY gBaseline;

static void BareWalk(const std::string &folder, int depth)
{
    WIN32_FIND_DATAA found;
    HANDLE h = FindFirstFileA((folder + "\\*.*").c_str(), &found);
    if (h == INVALID_HANDLE_VALUE)
        return;
    do {
        if (found.cFileName[0] == '.')
            continue;
        std::string path = folder + "\\" + found.cFileName;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (depth > 0)
                BareWalk(path, depth - 1);
        } else if (found.dwFileAttributes & FILE_ATTRIBUTE_HIDDEN) {
            char date[32];
            DWORD size = sizeof(date);
            RegQueryValueExA(gBaseline, path.c_str(), NULL, NULL, (BYTE *)date, &size);
        }
    } while (FindNextFileA(h, &found));
    FindClose(h);
}

// The folders and depths of the system-folder walk.
static void BareHiddenReads(void)
{
    char windows[MAX_PATH], system[MAX_PATH], wow64[MAX_PATH], temp[MAX_PATH], longTemp[MAX_PATH];
    GetWindowsDirectoryA(windows, MAX_PATH);
    GetSystemDirectoryA(system, MAX_PATH);
    GetTempPathA(MAX_PATH, temp);
    GetLongPathNameA(temp, longTemp, MAX_PATH);
    longTemp[strlen(longTemp) - 1] = '\0';
    std::string common = ReadValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion", "CommonFilesDir");
    RegOpenKeyExA(HKEY_CURRENT_USER, HIDDEN_BASELINE_KEY, 0, KEY_QUERY_VALUE, &gBaseline);
    BareWalk("C:", 0);
    BareWalk(windows, 0);
    BareWalk(system, 1);
    BareWalk(common, 1);
    BareWalk(longTemp, 1);
    if (Is64BitWindows) {
        for (const char *sub : {"\\SysWOW64", "\\drivers\\etc", "\\drivers", "\\config"})
            BareWalk(std::string(system) + sub, 1);
        if (GetSystemWow64DirectoryA(wow64, MAX_PATH))
            BareWalk(wow64, 1);
    }
    RegCloseKey(gBaseline);
}

static void HiddenStep(void)
{
    VerifyHiddenFiles(NULL);
}

void PrepareTypesAndHidden(void)
{
    char list[1024] = "";
    GetLangString(750, sizeof(list), list);
    for (char *piece = strtok(list, ";"); piece; piece = strtok(NULL, ";")) {
        std::string ext = std::string(".") + piece;
        CharLowerBuffA(&ext[0], (DWORD)ext.size());
        gTypes.push_back(ext);
        std::string cls = ReadValue(HKEY_LOCAL_MACHINE, "Software\\Classes\\" + ext, NULL);
        if (cls.empty()) {
            cls = "bmbench" + ext + "file";
            PutValue(HKEY_LOCAL_MACHINE, "Software\\Classes\\" + ext, "", cls);
            PutValue(HKEY_LOCAL_MACHINE, "Software\\Classes\\" + cls + "\\shell\\open\\command", "",
                    "\"C:\\Bench\\" + ext.substr(1) + "view.exe\" \"%1\"");
        }
        // Explorer writes the user's choice for the types that were opened once.
        PutValue(HKEY_CURRENT_USER, std::string(FILEEXTS_KEY) + "\\" + ext, "ProgID", cls);
    }
    char system[MAX_PATH];
    GetSystemDirectoryA(system, MAX_PATH);
    gTree = std::string(system) + "\\bmbench";
    CreateDirectoryA(gTree.c_str(), NULL);
    for (int i = 0; i < TREE_FILES; i++) {
        char name[MAX_PATH];
        FormatText(name, CAP(name), "%s\\file%04d.dat", gTree.c_str(), i);
        HANDLE f = CreateFileA(name, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS,
                               i % HIDDEN_EVERY ? FILE_ATTRIBUTE_NORMAL : FILE_ATTRIBUTE_HIDDEN, NULL);
        CloseHandle(f);
    }
    InitFileTypes();
    // The start-up baseline keeps its marker: it is taken again over the new folder.
    char hiddenKey[] = HIDDEN_BASELINE_KEY;
    DeleteRegKeyTree(HKEY_CURRENT_USER, hiddenKey);
    InitHiddenFiles();
}

void BenchTypesAndHidden(int rounds)
{
    giFileType = 1;
    BareFileTypeReads();
    FileTypeStep();
    double bareTypes, types;
    int reads = giFileTypeValueReads;
    TimeInTurns(BareFileTypeReads, FileTypeStep, rounds, &bareTypes, &types);
    reads = (giFileTypeValueReads - reads) / rounds;
    printf("bare file type reads   %8.3f ms   (%d types)\n", bareTypes * 1000, (int)gTypes.size());
    printf("VerifyFileTypes        %8.3f ms   ratio to bare reads %.2f   values read per step %d\n",
           types * 1000, types / bareTypes, reads);

    int hiddenRounds = rounds / 10 ? rounds / 10 : 1;
    BareHiddenReads();
    HiddenStep();
    double bareHidden, hidden;
    int versionReads = giFileFactVersionReads;
    TimeInTurns(BareHiddenReads, HiddenStep, hiddenRounds, &bareHidden, &hidden);
    printf("bare system-folder walk %7.3f ms   (%d more files, %d hidden)\n", bareHidden * 1000, TREE_FILES,
           TREE_FILES / HIDDEN_EVERY);
    printf("VerifyHiddenFiles      %8.3f ms   ratio to bare walk %.2f   version records read %d\n", hidden * 1000,
           hidden / bareHidden, giFileFactVersionReads - versionReads);
}

void RemoveTypesAndHidden(void)
{
    for (int i = 0; i < TREE_FILES; i++) {
        char name[MAX_PATH];
        FormatText(name, CAP(name), "%s\\file%04d.dat", gTree.c_str(), i);
        SetFileAttributesA(name, FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(name);
    }
    RemoveDirectoryA(gTree.c_str());
    for (auto it = gMadeKeys.rbegin(); it != gMadeKeys.rend(); ++it) {
        char path[MAX_PATH];
        CopyText(path, CAP(path), it->second.c_str());
        DeleteRegKeyTree(it->first, path);
    }
    gMadeKeys.clear();
    for (const ChangedValue &value : gChangedValues) {
        if (value.old.empty())
            DeleteRegValue(value.root, value.path.c_str(), value.name.c_str());
        else
            SetRegString(value.root, value.path.c_str(), value.name.c_str(), value.old.c_str());
    }
    gChangedValues.clear();
}
