// The run list: one movable block per entry found by a scan or a watcher pass,
// rebuilt from nothing by every pass.
#include "common/runlist.h"

#include <stddef.h>
#include <string.h>

#include "common/files.h"
#include "common/registry.h"
#include "common/text.h"
#include "common/tracelog.h"
#include "common/appstate.h"

// The block size the record has always had; the fields use less of it.
#define RUN_BLOCK_BYTES 1720
static_assert(sizeof(RunStruct) <= RUN_BLOCK_BYTES, "a run record must fit its block");

int giMaxCookie = 8092;

RunList *NewRunList(void)
{
    return (RunList *)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(RunList));
}

void DeleteRunList(RunList *list)
{
    if (!list)
        return;
    FreeRunList(list);
    HeapFree(GetProcessHeap(), 0, list);
}

// A zeroed record block, locked; NULL when no memory is left.
static RunStruct *NewRunBlock(HGLOBAL *block)
{
    *block = GlobalAlloc(GHND, RUN_BLOCK_BYTES);
    if (!*block)
        return NULL;
    RunStruct *rec = (RunStruct *)GlobalLock(*block);
    if (!rec)
        GlobalFree(*block);
    return rec;
}

int AddRunStruct(RunList *list, const char *name, const char *command, const char *sourcePath,
                 const char *details, int code, int extra)
{
    // A full list takes nothing: no work is spent on a record that cannot stay.
    if (!list || !command || list->count >= RUN_LIST_MAX)
        return 0;
    // Everything is worked on in bounded copies: the callers' strings are often
    // straight from a registry read and must stay as they are.
    char commandText[RUN_PATH_MAX];
    char server[MAX_PATH];
    if (command[0] == '{' && ResolveClsid(command, NULL, server)) {
        char message[2 * MAX_PATH];
        FormatText(message, CAP(message), "%s  %s", command, server);
        TestLog("AddRunStruct GUID", message);
        CopyText(commandText, CAP(commandText), server);
    } else {
        CopyText(commandText, CAP(commandText), command);
    }

    char nameText[RUN_NAME_MAX], sourceText[RUN_PATH_MAX], detailsText[RUN_DETAILS_MAX];
    CopyText(nameText, CAP(nameText), name ? name : "");
    CopyText(sourceText, CAP(sourceText), sourcePath ? sourcePath : "");
    CopyText(detailsText, CAP(detailsText), details ? details : "");

    if (!commandText[0])
        return 0;
    if (code == CODE_COOKIE && list->count >= giMaxCookie)
        return 0;

    HGLOBAL block;
    RunStruct *rec = NewRunBlock(&block);
    if (!rec)
        return 0;

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
    list->items[list->count++] = block;
    return 1;
}

int AddRunRecord(RunList *list, const char *name, const char *path, const char *sourcePath,
                 const char *details, int code, int extra)
{
    if (!list || list->count >= RUN_LIST_MAX || strlen(name) >= RUN_NAME_MAX || strlen(path) >= RUN_PATH_MAX ||
        strlen(sourcePath) >= RUN_PATH_MAX || strlen(details) >= RUN_DETAILS_MAX)
        return 0;
    HGLOBAL block;
    RunStruct *rec = NewRunBlock(&block);
    if (!rec)
        return 0;
    CopyText(rec->name, CAP(rec->name), name);
    CopyText(rec->path, CAP(rec->path), path);
    CopyText(rec->sourcePath, CAP(rec->sourcePath), sourcePath);
    CopyText(rec->details, CAP(rec->details), details);
    rec->code = code;
    rec->extra = extra;
    GlobalUnlock(block);
    list->items[list->count++] = block;
    return 1;
}

// The record at index i, locked; NULL for an index outside the list.
static RunStruct *LockRun(const RunList *list, int i)
{
    if (!list || i < 0 || i >= list->count || !list->items[i])
        return NULL;
    return (RunStruct *)GlobalLock(list->items[i]);
}

static void UnlockRun(const RunList *list, int i)
{
    GlobalUnlock(list->items[i]);
}

// Copies one text field of record i into out (cap characters with the NUL).
static int CopyRunField(const RunList *list, int i, size_t offset, size_t cap, char *out)
{
    if (!out)
        return 0;
    out[0] = '\0';
    RunStruct *rec = LockRun(list, i);
    if (!rec)
        return 0;
    const char *field = (const char *)rec + offset;
    CopyTextN(out, cap, field, cap - 1);
    UnlockRun(list, i);
    return (int)strlen(out);
}

int GetRunPath(const RunList *list, int i, char *out)
{
    int len = CopyRunField(list, i, offsetof(RunStruct, path), RUN_PATH_MAX, out);
    char server[MAX_PATH];
    // A class registered after the scan still compares by its server file.
    if (len > 0 && out[0] == '{' && ResolveClsid(out, NULL, server)) {
        char message[2 * MAX_PATH];
        FormatText(message, CAP(message), "%s  %s", out, server);
        TestLog("GetRunPath GUID", message);
        CopyText(out, RUN_PATH_MAX, server);
        len = (int)strlen(out);
    }
    return len;
}

int GetRunName(const RunList *list, int i, char *out)
{
    return CopyRunField(list, i, offsetof(RunStruct, name), RUN_NAME_MAX, out);
}

int GetRunSourcePath(const RunList *list, int i, char *out)
{
    return CopyRunField(list, i, offsetof(RunStruct, sourcePath), RUN_PATH_MAX, out);
}

int GetRunDetails(const RunList *list, int i, char *out)
{
    return CopyRunField(list, i, offsetof(RunStruct, details), RUN_DETAILS_MAX, out);
}

int GetRunRecord(const RunList *list, int i, RunStruct *out)
{
    RunStruct *rec = LockRun(list, i);
    if (!rec)
        return 0;
    *out = *rec;
    UnlockRun(list, i);
    return 1;
}

int GetRunCode(const RunList *list, int i)
{
    RunStruct *rec = LockRun(list, i);
    if (!rec)
        return 0;
    int code = rec->code;
    UnlockRun(list, i);
    return code;
}

int GetRunExtra(const RunList *list, int i)
{
    RunStruct *rec = LockRun(list, i);
    if (!rec)
        return 0;
    int extra = rec->extra;
    UnlockRun(list, i);
    return extra;
}

void FreeRunList(RunList *list)
{
    if (!list)
        return;
    for (int i = 0; i < list->count && i < RUN_LIST_MAX; i++) {
        if (list->items[i])
            GlobalFree(list->items[i]);
        list->items[i] = NULL;
    }
    list->count = 0;
}
