// File type associations: the four lookups, the listing of the monitored
// extensions, their baseline, and writing a recorded association back.
#include "watchers/filetypes.h"

#include <shlobj.h>
#include <string.h>

#include "common/file_facts.h"
#include "common/files.h"
#include "common/reg_script.h"
#include "common/registry.h"
#include "common/text.h"
#include "common/tracelog.h"
#include "watchers/filetypes_findings.h"

#define KEY_PATH_MAX 512
#define DESCRIPTION_MAX 1024
#define METHODS_LISTED 3
#define PIECE_MAX 256

int giFileTypeValueReads;

// Explorer reads the classes in the 64-bit view on 64-bit Windows. Only a 32-bit
// monitor needs to ask for it (and Wine leaks a handle for every HKEY_CLASSES_ROOT
// key opened with the flag).
static REGSAM ShellView(void)
{
    return (Is64BitWindows && sizeof(void *) == 4) ? KEY_WOW64_64KEY : 0;
}

int QueryAssociationText(HKEY key, const char *name, char *out, size_t cap, DWORD *type)
{
    char data[REG_TEXT_MAX + 1];
    DWORD size = REG_TEXT_MAX, stored = 0;
    out[0] = '\0';
    if (type)
        *type = REG_SZ;
    giFileTypeValueReads++;
    LONG rc = RegQueryValueExA(key, name, NULL, &stored, (BYTE *)data, &size);
    if (rc == ERROR_MORE_DATA)
        TestLog("FileTypes value too long", name ? name : "(default)");
    if (rc != ERROR_SUCCESS || stored == REG_DWORD || stored == REG_QWORD)
        return 0;
    data[size < REG_TEXT_MAX ? size : REG_TEXT_MAX] = '\0';
    size_t len = strlen(data);
    if (len >= cap) {
        TestLog("FileTypes value too long", name ? name : "(default)");
        return 0;
    }
    memcpy(out, data, len + 1);
    if (type && stored == REG_EXPAND_SZ)
        *type = REG_EXPAND_SZ;
    return (int)len;
}

int ReadAssociationText(HKEY root, const char *path, const char *name, char *out, size_t cap, DWORD *type)
{
    HKEY key;
    out[0] = '\0';
    if (!path || RegOpenKeyExA(root, path, 0, KEY_QUERY_VALUE | ShellView(), &key) != ERROR_SUCCESS)
        return 0;
    int len = QueryAssociationText(key, name, out, cap, type);
    RegCloseKey(key);
    return len;
}

// Writes a text value unless it holds this very text and type already.
static LONG WriteTextIfDifferent(HKEY root, const char *path, const char *name, const char *text, DWORD type)
{
    char current[FILETYPE_TEXT_MAX];
    DWORD currentType = REG_SZ;
    if (ReadAssociationText(root, path, name, current, CAP(current), &currentType) > 0 &&
        strcmp(current, text) == 0 && currentType == type)
        return ERROR_SUCCESS;
    HKEY key;
    LONG rc = RegCreateKeyExA(root, path, 0, NULL, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE | ShellView(), NULL,
                              &key, NULL);
    if (rc != ERROR_SUCCESS)
        return rc;
    rc = RegSetValueExA(key, name, 0, type, (const BYTE *)text, (DWORD)strlen(text) + 1);
    RegCloseKey(key);
    return rc;
}

static const char *RootName(HKEY root)
{
    return root == HKEY_LOCAL_MACHINE ? "HKEY_LOCAL_MACHINE"
           : root == HKEY_CLASSES_ROOT ? "HKEY_CLASSES_ROOT"
                                       : "HKEY_CURRENT_USER";
}

// One value of an association written back. The machine's classes need
// administrator rights: without them the elevated registry editor imports it.
static int WriteAssociationValue(HKEY root, const char *path, const char *name, const char *text, DWORD type)
{
    LONG rc = WriteTextIfDifferent(root, path, name, text, type);
    if (rc == ERROR_SUCCESS)
        return 1;
    SetLastError((DWORD)rc);
    TraceLastError("MyError:  RestoreFileType RegSetValueEx");
    TestLog("RestoreFileType", path);
    if (rc != ERROR_ACCESS_DENIED || root == HKEY_CURRENT_USER)
        return 0;
    // The script carries a plain text; the editor has imported it when the value reads back.
    char check[FILETYPE_TEXT_MAX];
    return CreateRegCommand(RootName(root), path, name ? name : "", text, REGCMD_STRING) &&
           ReadAssociationText(root, path, name, check, CAP(check), NULL) > 0 && strcmp(check, text) == 0;
}

// Where method finds the class of ext: the root, the key and the value name.
static int ClassPlace(int method, const char *ext, HKEY *root, char *path, const char **name)
{
    *name = NULL;
    switch (method) {
    case ASSOC_MACHINE_CLASS:
        *root = HKEY_LOCAL_MACHINE;
        return FormatText(path, KEY_PATH_MAX, "Software\\Classes\\%s", ext);
    case ASSOC_USER_APPLICATION:
    case ASSOC_USER_PROGID:
        *root = HKEY_CURRENT_USER;
        *name = method == ASSOC_USER_APPLICATION ? "Application" : "ProgID";
        return FormatText(path, KEY_PATH_MAX, "%s\\%s", FILEEXTS_KEY, ext);
    case ASSOC_ROOT_CLASS:
        *root = HKEY_CLASSES_ROOT;
        return CopyText(path, KEY_PATH_MAX, ext);
    }
    return 0;
}

// Where the open command of a class found by method lives.
static int CommandPlace(int method, const char *cls, HKEY *root, char *path)
{
    *root = method == ASSOC_MACHINE_CLASS ? HKEY_LOCAL_MACHINE : HKEY_CLASSES_ROOT;
    const char *format = method == ASSOC_MACHINE_CLASS      ? "Software\\Classes\\%s\\shell\\open\\command"
                         : method == ASSOC_USER_APPLICATION ? "Applications\\%s\\shell\\open\\command"
                                                            : "%s\\shell\\open\\command";
    return FormatText(path, KEY_PATH_MAX, format, cls);
}

static int ReadCommand(int method, const char *cls, char *command, DWORD *type)
{
    HKEY root;
    char path[KEY_PATH_MAX];
    if (!CommandPlace(method, cls, &root, path))
        return 0;
    return ReadAssociationText(root, path, NULL, command, FILETYPE_TEXT_MAX, type);
}

static int IsExtension(const char *ext)
{
    return ext && ext[0] == '.' && ext[1] && strlen(ext) < FILETYPE_EXT_MAX;
}

static int GetAssociationTyped(const char *ext, int method, char *cls, char *command, DWORD *type)
{
    HKEY root;
    char path[KEY_PATH_MAX];
    const char *name;
    cls[0] = command[0] = '\0';
    if (!IsExtension(ext) || !ClassPlace(method, ext, &root, path, &name))
        return 0;
    if (ReadAssociationText(root, path, name, cls, FILETYPE_TEXT_MAX, NULL) <= 0)
        return 0;
    return ReadCommand(method, cls, command, type) > 0;
}

int GetAssociation(const char *ext, int method, char *cls, char *command)
{
    return GetAssociationTyped(ext, method, cls, command, NULL);
}

int FileTypeProgram(const char *command, char *out)
{
    if (ExtractProgramPath(command, out) > 0)
        return (int)strlen(out);
    return StripQuotes(command, out);
}

const char *ExtensionBaselineKey(int method)
{
    switch (method) {
    case ASSOC_MACHINE_CLASS:
        return FILETYPE_EXT_KEY;
    case ASSOC_USER_APPLICATION:
        return FILETYPE_EXTAPP_KEY;
    case ASSOC_USER_PROGID:
        return FILETYPE_EXTPROGID_KEY;
    case ASSOC_ROOT_CLASS:
        return FILETYPE_EXTROOT_KEY;
    }
    return NULL;
}

static const char *ProgramBaselineKey(int method)
{
    return method == ASSOC_ROOT_CLASS ? FILETYPE_CLASSROOT_KEY : FILETYPE_CLASS_KEY;
}

static const char *CommandBaselineKey(int method)
{
    return method == ASSOC_ROOT_CLASS ? FILETYPE_CLASSROOTCOMMAND_KEY : FILETYPE_CLASSCOMMAND_KEY;
}

static int SamePiece(const char *a, size_t lenA, const char *b, size_t lenB)
{
    return CompareStringA(LOCALE_SYSTEM_DEFAULT, NORM_IGNORECASE, a, (int)lenA, b, (int)lenB) == CSTR_EQUAL;
}

// Whether the piece at piece (len characters) stands earlier in list as well.
static int ListedBefore(const char *list, const char *piece, size_t len)
{
    for (const char *p = list; p < piece;) {
        const char *end = strchr(p, ';');
        size_t n = end ? (size_t)(end - p) : strlen(p);
        if (SamePiece(p, n, piece, len))
            return 1;
        p += n + (end ? 1 : 0);
    }
    return 0;
}

// The monitored list split at ";": each piece with a "." in front, handed to visit
// once (a piece listed twice, or one too long to be an extension, is passed over).
typedef int (*ExtensionVisitor)(const char *ext, void *context);
static int ForEachMonitoredExtension(ExtensionVisitor visit, void *context)
{
    char list[FILETYPE_LIST_MAX + 1];
    if (ReadAssociationText(HKEY_CURRENT_USER, FILETYPE_CLASS_KEY, NULL, list, CAP(list), NULL) <= 0)
        return 0;
    int visited = 0;
    for (const char *piece = list; *piece;) {
        const char *end = strchr(piece, ';');
        size_t len = end ? (size_t)(end - piece) : strlen(piece);
        char ext[FILETYPE_EXT_MAX];
        if (len > PIECE_MAX) {
            TestLog("FileTypes extension too long", piece);
        } else if (len > 0 && !ListedBefore(list, piece, len) &&
                   FormatText(ext, CAP(ext), ".%.*s", (int)len, piece)) {
            visited++;
            if (visit(ext, context))
                break;
        }
        piece += len + (end ? 1 : 0);
    }
    return visited;
}

static FileTypeFinding *NextSlot(FileTypeFindings *found)
{
    if (found->count == found->cap) {
        int cap = found->cap ? found->cap * 2 : 32 * METHODS_LISTED;
        SIZE_T bytes = (SIZE_T)cap * sizeof(FileTypeFinding);
        void *items = found->items ? HeapReAlloc(GetProcessHeap(), 0, found->items, bytes)
                                   : HeapAlloc(GetProcessHeap(), 0, bytes);
        if (!items) {
            TestLog("MyError:  CollectFileTypes HeapAlloc", "the rest of the list waits for the next check");
            return NULL;
        }
        found->items = (FileTypeFinding *)items;
        found->cap = cap;
    }
    return &found->items[found->count];
}

// A class that an earlier extension of this look already led to: its command is
// known without reading it again.
static const FileTypeFinding *SeenClass(const FileTypeFindings *found, int method, const char *cls)
{
    for (int i = 0; i < found->count; i++)
        if (found->items[i].method == method && StrEqualNoCase(found->items[i].cls, cls) == 0)
            return &found->items[i];
    return NULL;
}

static int CollectExtension(const char *ext, void *context)
{
    FileTypeFindings *found = (FileTypeFindings *)context;
    char classes[METHODS_LISTED][FILETYPE_TEXT_MAX] = {};
    char path[KEY_PATH_MAX];
    HKEY root, key;
    const char *name;
    if (ClassPlace(ASSOC_MACHINE_CLASS, ext, &root, path, &name))
        ReadAssociationText(root, path, name, classes[0], FILETYPE_TEXT_MAX, NULL);
    // Both values of the user's own choice come from one key.
    if (FormatText(path, CAP(path), "%s\\%s", FILEEXTS_KEY, ext) &&
        RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_QUERY_VALUE | ShellView(), &key) == ERROR_SUCCESS) {
        QueryAssociationText(key, "Application", classes[1], FILETYPE_TEXT_MAX, NULL);
        QueryAssociationText(key, "ProgID", classes[2], FILETYPE_TEXT_MAX, NULL);
        RegCloseKey(key);
    }
    for (int m = 0; m < METHODS_LISTED; m++) {
        if (!classes[m][0])
            continue;
        FileTypeFinding *slot = NextSlot(found);
        if (!slot)
            return 1;
        int method = m + 1;
        const FileTypeFinding *seen = SeenClass(found, method, classes[m]);
        if (seen)
            memcpy(slot->command, seen->command, sizeof(slot->command));
        else if (ReadCommand(method, classes[m], slot->command, NULL) <= 0)
            continue;
        CopyText(slot->ext, CAP(slot->ext), ext);
        CopyText(slot->cls, CAP(slot->cls), classes[m]);
        slot->method = method;
        found->count++;
    }
    return 0;
}

int CollectFileTypes(FileTypeFindings *found)
{
    found->count = 0;
    ForEachMonitoredExtension(CollectExtension, found);
    return found->count;
}

void FreeFileTypeFindings(FileTypeFindings *found)
{
    if (found->items)
        HeapFree(GetProcessHeap(), 0, found->items);
    found->items = NULL;
    found->count = found->cap = 0;
}

// A class without a description is named after its program's version record.
static void ProgramDescription(const char *command, char *out, size_t cap)
{
    char program[MAX_PATH];
    out[0] = '\0';
    VersionRecord *version = (VersionRecord *)HeapAlloc(GetProcessHeap(), 0, sizeof(VersionRecord));
    if (!version)
        return;
    if (FileTypeProgram(command, program) > 0 && GetVersionInfoCached(program, version))
        CopyText(out, cap, version->FileDescription[0] ? version->FileDescription : version->ProductName);
    HeapFree(GetProcessHeap(), 0, version);
}

int ListFileTypes(RunList *list)
{
    if (!list)
        return 0;
    FreeRunList(list);
    FileTypeFindings found = {};
    CollectFileTypes(&found);
    int added = 0;
    for (int i = 0; i < found.count; i++) {
        const FileTypeFinding *f = &found.items[i];
        char description[DESCRIPTION_MAX + 1], path[KEY_PATH_MAX];
        if (!FormatText(path, CAP(path), "Software\\Classes\\%s", f->cls) ||
            ReadAssociationText(HKEY_LOCAL_MACHINE, path, NULL, description, CAP(description), NULL) <= 0)
            ProgramDescription(f->command, description, CAP(description));
        added += AddRunStruct(list, description, f->command, f->cls, f->ext, TYPE_FILETYPE, f->method);
    }
    FreeFileTypeFindings(&found);
    return added;
}

int StoreFileTypeBaseline(const char *ext, int method)
{
    char cls[FILETYPE_TEXT_MAX], command[FILETYPE_TEXT_MAX], program[MAX_PATH];
    DWORD type = REG_SZ;
    const char *extKey = ExtensionBaselineKey(method);
    if (!extKey || !GetAssociationTyped(ext, method, cls, command, &type))
        return 0;
    FileTypeProgram(command, program);
    // The class's program first: an extension whose class has no recorded program
    // would take whatever it points at next as the recorded one.
    if (!SetRegString(HKEY_CURRENT_USER, ProgramBaselineKey(method), cls, program) ||
        WriteTextIfDifferent(HKEY_CURRENT_USER, CommandBaselineKey(method), cls, command, type) != ERROR_SUCCESS ||
        !SetRegString(HKEY_CURRENT_USER, extKey, ext, cls)) {
        TestLog("MyError:  StoreFileTypeBaseline SetRegString", ext);
        return 0;
    }
    return 1;
}

int RestoreFileType(const char *ext, int method)
{
    char cls[FILETYPE_TEXT_MAX], command[FILETYPE_TEXT_MAX], path[KEY_PATH_MAX];
    const char *extKey = ExtensionBaselineKey(method), *name;
    HKEY root;
    DWORD type = REG_SZ;
    if (!extKey || !IsExtension(ext))
        return 0;
    // A baseline older than the command keys holds the program alone.
    if (ReadAssociationText(HKEY_CURRENT_USER, extKey, ext, cls, CAP(cls), NULL) <= 0 ||
        (ReadAssociationText(HKEY_CURRENT_USER, CommandBaselineKey(method), cls, command, CAP(command), &type) <= 0 &&
         ReadAssociationText(HKEY_CURRENT_USER, ProgramBaselineKey(method), cls, command, CAP(command), &type) <= 0)) {
        TestLog("RestoreFileType nothing recorded", ext);
        return 0;
    }
    int ok = ClassPlace(method, ext, &root, path, &name) && WriteAssociationValue(root, path, name, cls, REG_SZ);
    ok = ok && CommandPlace(method, cls, &root, path) && WriteAssociationValue(root, path, NULL, command, type);
    // Explorer keeps associations in memory until it is told they changed.
    SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, NULL, NULL);
    return ok;
}

// Whether an extension other than the one being dropped still points at cls by a
// method whose programs are kept in the same key as method's.
static int ClassStillRecorded(const char *cls, int method)
{
    static const int Machine[] = {ASSOC_MACHINE_CLASS, ASSOC_USER_APPLICATION, ASSOC_USER_PROGID};
    static const int Root[] = {ASSOC_ROOT_CLASS};
    const int *methods = method == ASSOC_ROOT_CLASS ? Root : Machine;
    int count = method == ASSOC_ROOT_CLASS ? 1 : 3;
    int found = 0;
    for (int m = 0; m < count && !found; m++) {
        HKEY key;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, ExtensionBaselineKey(methods[m]), 0, KEY_QUERY_VALUE | ShellView(),
                          &key) != ERROR_SUCCESS)
            continue;
        char name[FILETYPE_EXT_MAX + 1], data[FILETYPE_TEXT_MAX];
        for (DWORD i = 0; !found; i++) {
            DWORD nameLen = sizeof(name), dataLen = sizeof(data) - 1, type = 0;
            LONG rc = RegEnumValueA(key, i, name, &nameLen, NULL, &type, (BYTE *)data, &dataLen);
            if (rc == ERROR_MORE_DATA)
                continue;
            if (rc != ERROR_SUCCESS)
                break;
            data[dataLen] = '\0';
            found = name[0] && type == REG_SZ && StrEqualNoCase(data, cls) == 0;
        }
        RegCloseKey(key);
    }
    return found;
}

int StopMonitoringFileType(const char *ext)
{
    const char *bare = ext && ext[0] == '.' ? ext + 1 : ext;
    char dotted[FILETYPE_EXT_MAX], list[FILETYPE_LIST_MAX + 1], rebuilt[FILETYPE_LIST_MAX + 1] = "";
    if (!bare || !bare[0] || !FormatText(dotted, CAP(dotted), ".%s", bare))
        return 0;
    ReadAssociationText(HKEY_CURRENT_USER, FILETYPE_CLASS_KEY, NULL, list, CAP(list), NULL);
    for (const char *piece = list; *piece;) {
        const char *end = strchr(piece, ';');
        size_t len = end ? (size_t)(end - piece) : strlen(piece);
        if (len > 0 && !SamePiece(piece, len, bare, strlen(bare)))
            AppendFormat(rebuilt, CAP(rebuilt), "%.*s;", (int)len, piece);
        piece += len + (end ? 1 : 0);
    }
    int ok = SetRegString(HKEY_CURRENT_USER, FILETYPE_CLASS_KEY, "", rebuilt);
    for (int method = ASSOC_MACHINE_CLASS; method <= ASSOC_ROOT_CLASS; method++) {
        char cls[FILETYPE_TEXT_MAX];
        const char *extKey = ExtensionBaselineKey(method);
        int hadClass = ReadAssociationText(HKEY_CURRENT_USER, extKey, dotted, cls, CAP(cls), NULL) > 0;
        DeleteRegValue(HKEY_CURRENT_USER, extKey, dotted);
        // A class that other extensions share keeps its program for them.
        if (hadClass && !ClassStillRecorded(cls, method)) {
            DeleteRegValue(HKEY_CURRENT_USER, ProgramBaselineKey(method), cls);
            DeleteRegValue(HKEY_CURRENT_USER, CommandBaselineKey(method), cls);
        }
    }
    DeleteRegValue(HKEY_CURRENT_USER, FILETYPE_EXTTYPE_KEY, dotted);
    TestLog("StopMonitoringFileType", dotted);
    return ok;
}

static int StoreEveryMethod(const char *ext, void *context)
{
    (void)context;
    for (int method = ASSOC_MACHINE_CLASS; method <= ASSOC_ROOT_CLASS; method++)
        StoreFileTypeBaseline(ext, method);
    return 0;
}

void InitFileTypes(void)
{
    static const char *const Keys[] = {
        FILETYPE_EXT_KEY,       FILETYPE_EXTAPP_KEY,    FILETYPE_EXTPROGID_KEY,       FILETYPE_CLASS_KEY,
        FILETYPE_EXTROOT_KEY,   FILETYPE_CLASSROOT_KEY, FILETYPE_CLASSCOMMAND_KEY,    FILETYPE_CLASSROOTCOMMAND_KEY,
        FILETYPE_EXTTYPE_KEY,
    };
    // An 11-character marker is the one of an earlier version: the baseline is
    // taken again over the list the user has.
    char marker[513], list[FILETYPE_LIST_MAX + 1];
    int markerLen = ReadAssociationText(HKEY_CURRENT_USER, FILETYPE_EXT_KEY, NULL, marker, CAP(marker), NULL);
    if (markerLen != 11) {
        if (markerLen > 0 && ReadAssociationText(HKEY_CURRENT_USER, FILETYPE_CLASS_KEY, NULL, list, CAP(list), NULL) &&
            memchr(list, ';', strlen(list) < 10 ? strlen(list) : 10))
            return;
        for (const char *key : Keys)
            if (!CreateRegKey(HKEY_CURRENT_USER, key))
                TraceLastError("MyError:  InitFileTypes RegCreateKeyEx");
        char monitored[513];
        if (GetLangString(750, CAP(monitored), monitored) <= 0)
            monitored[0] = '\0';
        SetRegString(HKEY_CURRENT_USER, FILETYPE_CLASS_KEY, "", monitored);
    }
    TestLog("InitFileTypes", "baseline of the monitored file types");
    ForEachMonitoredExtension(StoreEveryMethod, NULL);
    SetRegString(HKEY_CURRENT_USER, FILETYPE_EXT_KEY, "", FILETYPE_MARKER);
}
