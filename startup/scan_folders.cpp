// The startup folders of the machine and the user: shortcuts resolved to their
// targets, programs and other files taken as they are.
#include "startup/startup_scan.h"

#include <objbase.h>
#include <objidl.h>
#include <shlguid.h>
#include <shobjidl.h>
#include <string.h>

#include "common/files.h"
#include "common/registry.h"
#include "common/text.h"
#include "startup/locations.h"
#include "startup/places.h"
#include "common/runlist.h"

// Resolving a shortcut whose target moved may search the disks; the scan does not
// wait longer than this for one (the time-out sits in the high word of the flags).
#define LINK_RESOLVE_MS 500

static int HasExtension(const char *fileName, const char *extension)
{
    size_t len = strlen(fileName);
    return len >= 3 && StrEqualNoCase(fileName + len - 3, extension) == 0;
}

// The name the run list shows for a program: what its version information calls it.
static void ProgramTitle(const char *program, char *out, size_t cap)
{
    out[0] = '\0';
    VersionRecord *version = (VersionRecord *)HeapAlloc(GetProcessHeap(), 0, sizeof(VersionRecord));
    if (!version)
        return;
    GetVersionInfo(program, version);
    CopyText(out, cap, version->FileDescription[0] ? version->FileDescription : version->ProductName);
    HeapFree(GetProcessHeap(), 0, version);
}

// The target of a shortcut; 0 when the file is no shortcut, or resolving gave up.
static int ResolveShortcut(const char *linkFile, char *target)
{
    target[0] = '\0';
    WCHAR wide[MAX_PATH];
    if (!MultiByteToWideChar(CP_ACP, 0, linkFile, -1, wide, MAX_PATH))
        return 0;

    IShellLinkA *link = NULL;
    IPersistFile *persist = NULL;
    int resolved = 0;
    HRESULT hr = CoCreateInstance(CLSID_ShellLink, NULL, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                  (void **)&link);
    if (SUCCEEDED(hr))
        hr = link->QueryInterface(IID_IPersistFile, (void **)&persist);
    if (SUCCEEDED(hr))
        hr = persist->Load(wide, STGM_READ);
    if (SUCCEEDED(hr))
        hr = link->Resolve(NULL, SLR_NO_UI | (LINK_RESOLVE_MS << 16));
    // S_FALSE: the shortcut could not be resolved without asking the user.
    if (hr == S_OK) {
        WIN32_FIND_DATAA found;
        char path[MAX_PATH] = "";
        if (SUCCEEDED(link->GetPath(path, MAX_PATH, &found, 0))) {
            path[MAX_PATH - 1] = '\0';
            CopyText(target, MAX_PATH, path);
            resolved = target[0] != '\0';
        }
    }
    if (persist)
        persist->Release();
    if (link)
        link->Release();
    return resolved;
}

void ReadStartupFile(RunList *list, const char *file, int pass)
{
    const char *slash = strrchr(file, '\\');
    const char *fileName = slash ? slash + 1 : file;
    char title[RUN_NAME_MAX];
    if (HasExtension(fileName, "ini"))
        return;   // desktop.ini and its kind describe the folder, they start nothing
    if (HasExtension(fileName, "lnk")) {
        char target[MAX_PATH];
        if (!ResolveShortcut(file, target))
            return;
        ProgramTitle(target, title, CAP(title));
        AddRunStruct(list, title, target, file, "", CODE_GROUP_STARTUP, pass);
    } else if (HasExtension(fileName, "exe")) {
        ProgramTitle(file, title, CAP(title));
        AddRunStruct(list, title, file, file, "", CODE_GROUP_STARTUP, pass);
    } else {
        // Without a name the record takes the file's title.
        AddRunStruct(list, "", file, "", "", CODE_GROUP_STARTUP, pass & STORED_COPY_EXTRA);
    }
}

// Where the files of one folder go, and which pass of the scan reads it.
typedef struct FolderTarget {
    RunList *list;
    int pass;
} FolderTarget;

static int ReadFolderEntry(const char *path, const WIN32_FIND_DATAA *found, void *arg)
{
    // Windows starts the files of the folder itself, not those of its subfolders.
    if ((found->dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || found->cFileName[0] == '.')
        return 0;
    const FolderTarget *target = (const FolderTarget *)arg;
    ReadStartupFile(target->list, path, target->pass);
    return 0;
}

void ReadStartupFolder(RunList *list, const char *folder, int pass)
{
    char work[MAX_PATH];
    if (!folder || !folder[0] || !CopyText(work, CAP(work), folder))
        return;
    // The caller may or may not have COM running on this thread; what is started
    // here is ended here, and a thread already in the other apartment model is
    // used as it is.
    HRESULT com = CoInitializeEx(NULL, COINIT_APARTMENTTHREADED);
    giWalkMode = WALK_STARTUP;
    FolderTarget target = {list, pass};
    WalkFolder(work, ReadFolderEntry, 0, &target);
    if (SUCCEEDED(com))
        CoUninitialize();
}

void ReadStartupFolders(RunList *list)
{
    static const HKEY Roots[] = {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER};
    static const char *const Values[] = {"Startup", "Common Startup"};
    char read[4][MAX_PATH];
    int count = 0;
    for (int pass = 0; pass < 2; pass++) {
        for (const char *value : Values) {
            if (GetRegString(Roots[pass], SHELL_FOLDERS_KEY, value, read[count], MAX_PATH) > 0)
                ReadStartupFolder(list, read[count++], pass);
        }
    }
    // "Shell Folders" is the shell's cache; Windows starts the files of the folders
    // that "User Shell Folders" puts in force, which may have been moved since.
    static const struct {
        int code, pass;
    } InForce[] = {{CODE_COMMON_STARTUP_FOLDER, 0}, {CODE_USER_STARTUP_FOLDER, 1}};
    for (const auto &setting : InForce) {
        char folder[MAX_PATH];
        int seen = 0;
        if (ReadFolderInForce(FindAutostartPlace(setting.code), folder) <= 0)
            continue;
        for (int i = 0; i < count && !seen; i++)
            seen = IsSameFolder(folder, read[i]);
        if (!seen)
            ReadStartupFolder(list, folder, setting.pass);
    }
}

int StartupFileProgram(const char *file, char *out)
{
    out[0] = '\0';
    RunList *list = NewRunList();
    if (!list)
        return 0;
    HRESULT com = CoInitializeEx(NULL, COINIT_APARTMENTTHREADED);
    ReadStartupFile(list, file, 0);
    if (SUCCEEDED(com))
        CoUninitialize();
    int len = GetRunPath(list, 0, out);
    DeleteRunList(list);
    return len;
}
