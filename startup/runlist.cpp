// The run list: one movable block per entry found by a scan or a watcher pass,
// rebuilt from nothing by every pass.
#include "startup/runlist.h"

#include <stddef.h>
#include <string.h>

#include "common/files.h"
#include "common/registry.h"
#include "common/text.h"
#include "common/tracelog.h"
#include "monitor/appstate.h"

// The block size the record has always had; the fields use less of it.
#define RUN_BLOCK_BYTES 1720
static_assert(sizeof(RunStruct) <= RUN_BLOCK_BYTES, "a run record must fit its block");

// A class id is "{" 8-4-4-4-12 "}"; anything longer is not one.
#define CLSID_TEXT_MAX 64

RunListData RunList;
int giMaxCookie = 8092;

static int ReadClsidServer(const char *path, char *out)
{
    REGSAM saved = RegReadAccess;
    // A 32-bit monitor would otherwise see only the 32-bit registrations. A
    // 64-bit build reads the 64-bit view anyway, and Wine leaks a handle on
    // every HKEY_CLASSES_ROOT open that names the view.
    if (Is64BitWindows && sizeof(void *) == 4)
        RegReadAccess |= KEY_WOW64_64KEY;
    int len = GetRegString(HKEY_CLASSES_ROOT, path, "", out, MAX_PATH);
    RegReadAccess = saved;
    return len;
}

int ResolveClsid(const char *clsid, char *out)
{
    if (!out)
        return 0;
    out[0] = '\0';
    if (!clsid || clsid[0] != '{')
        return 0;
    // The id ends at its "}"; a value may carry more after it.
    char id[CLSID_TEXT_MAX];
    const char *close = strchr(clsid, '}');
    size_t idLen = close ? (size_t)(close - clsid) + 1 : strlen(clsid);
    if (idLen >= sizeof(id))
        return 0;
    CopyTextN(id, CAP(id), clsid, idLen);

    char key[MAX_PATH];
    FormatText(key, CAP(key), "CLSID\\%s\\InprocServer32", id);
    if (ReadClsidServer(key, out) > 0)
        return 1;
    if (Is64BitWindows) {
        FormatText(key, CAP(key), "Wow6432Node\\CLSID\\%s\\InprocServer32", id);
        if (ReadClsidServer(key, out) > 0)
            return 1;
    }
    out[0] = '\0';
    return 0;
}

int AddRunStruct(const char *name, const char *command, const char *sourcePath,
                 const char *details, int code, int extra)
{
    if (!command)
        return 0;
    // Everything is worked on in bounded copies: the callers' strings are often
    // straight from a registry read and must stay as they are.
    char commandText[RUN_PATH_MAX];
    char server[MAX_PATH];
    if (command[0] == '{' && ResolveClsid(command, server)) {
        char message[2 * MAX_PATH];
        FormatText(message, CAP(message), "%s  %s", command, server);
        TestLog("AddRunStruct GUID", message);
        CopyText(commandText, CAP(commandText), server);
    } else {
        CopyText(commandText, CAP(commandText), command);
    }
    if (RunList.count >= RUN_LIST_MAX)
        return 0;

    char nameText[RUN_NAME_MAX], sourceText[RUN_PATH_MAX], detailsText[RUN_DETAILS_MAX];
    CopyText(nameText, CAP(nameText), name ? name : "");
    CopyText(sourceText, CAP(sourceText), sourcePath ? sourcePath : "");
    CopyText(detailsText, CAP(detailsText), details ? details : "");

    if (!commandText[0])
        return 0;
    if (code == CODE_COOKIE && RunList.count >= giMaxCookie)
        return 0;

    HGLOBAL block = GlobalAlloc(GHND, RUN_BLOCK_BYTES);
    if (!block)
        return 0;
    RunStruct *rec = (RunStruct *)GlobalLock(block);
    if (!rec) {
        GlobalFree(block);
        return 0;
    }

    CopyText(rec->details, CAP(rec->details), detailsText);
    char plain[MAX_PATH];
    StripQuotes(commandText, plain);
    if (strlen(plain) > 3) {
        GetLongPath(plain, rec->path);
        GetLongPath(sourceText, rec->sourcePath);
    } else {
        CopyText(rec->path, CAP(rec->path), plain);
        CopyText(rec->sourcePath, CAP(rec->sourcePath), sourceText);
    }

    if (nameText[0]) {
        // Our own entries show under the title the user knows, whatever the
        // value is called.
        if (StrContains(nameText, "Brackmoor"))
            CopyText(nameText, CAP(nameText), gszTitle);
        if (StrContains(nameText, "(Default)"))
            nameText[0] = '\0';
        CopyText(rec->name, CAP(rec->name), nameText);
    } else {
        // A file's title: its name without the extension.
        const char *slash = strrchr(rec->path, '\\');
        const char *file = slash ? slash + 1 : rec->path;
        size_t len = strlen(file);
        CopyTextN(rec->name, CAP(rec->name), file, len > 4 ? len - 4 : 0);
    }

    rec->code = code;
    rec->extra = extra;
    GlobalUnlock(block);
    RunList.items[RunList.count++] = block;
    return 1;
}

// The record at index i, locked; NULL for an index outside the list.
static RunStruct *LockRun(int i)
{
    if (i < 0 || i >= RunList.count || !RunList.items[i])
        return NULL;
    return (RunStruct *)GlobalLock(RunList.items[i]);
}

static void UnlockRun(int i)
{
    GlobalUnlock(RunList.items[i]);
}

// Copies one text field of record i into out (cap characters with the NUL).
static int CopyRunField(int i, size_t offset, size_t cap, char *out)
{
    if (!out)
        return 0;
    out[0] = '\0';
    RunStruct *rec = LockRun(i);
    if (!rec)
        return 0;
    const char *field = (const char *)rec + offset;
    CopyTextN(out, cap, field, cap - 1);
    UnlockRun(i);
    return (int)strlen(out);
}

int GetRunPath(int i, char *out)
{
    int len = CopyRunField(i, offsetof(RunStruct, path), RUN_PATH_MAX, out);
    char server[MAX_PATH];
    // A class registered after the scan still compares by its server file.
    if (len > 0 && out[0] == '{' && ResolveClsid(out, server)) {
        char message[2 * MAX_PATH];
        FormatText(message, CAP(message), "%s  %s", out, server);
        TestLog("GetRunPath GUID", message);
        CopyText(out, RUN_PATH_MAX, server);
        len = (int)strlen(out);
    }
    return len;
}

int GetRunName(int i, char *out)
{
    return CopyRunField(i, offsetof(RunStruct, name), RUN_NAME_MAX, out);
}

int GetRunSourcePath(int i, char *out)
{
    return CopyRunField(i, offsetof(RunStruct, sourcePath), RUN_PATH_MAX, out);
}

int GetRunDetails(int i, char *out)
{
    return CopyRunField(i, offsetof(RunStruct, details), RUN_DETAILS_MAX, out);
}

int GetRunCode(int i)
{
    RunStruct *rec = LockRun(i);
    if (!rec)
        return 0;
    int code = rec->code;
    UnlockRun(i);
    return code;
}

int GetRunExtra(int i)
{
    RunStruct *rec = LockRun(i);
    if (!rec)
        return 0;
    int extra = rec->extra;
    UnlockRun(i);
    return extra;
}

void FreeRunList(void)
{
    for (int i = 0; i < RunList.count && i < RUN_LIST_MAX; i++) {
        if (RunList.items[i])
            GlobalFree(RunList.items[i]);
        RunList.items[i] = NULL;
    }
    RunList.count = 0;
}
