#include "common/registry.h"

#include <string.h>

#include "common/files.h"
#include "common/text.h"
#include "common/tracelog.h"

REGSAM RegReadAccess = KEY_READ;
REGSAM RegWriteAccess = KEY_WRITE;
int Is64BitWindows = 0;

// KEY_ALL_ACCESS pinned to one view: a value may live in either view on 64-bit
// Windows, and the monitor must be able to remove it from whichever holds it.
#define ALL_ACCESS_32 (KEY_ALL_ACCESS | KEY_WOW64_32KEY)
#define ALL_ACCESS_64 (KEY_ALL_ACCESS | KEY_WOW64_64KEY)

#define VERSION_BLOCK_MAX 8192      // version resources this large are not trusted
#define VERSION_VALUE_MAX 127       // a longer version string is taken as absent

// GetProcAddress hands back a generic pointer; going through void(*)(void) keeps
// the cast to the real signature free of a function-type warning.
template <typename Proc> static Proc ProcFrom(FARPROC address)
{
    return reinterpret_cast<Proc>(reinterpret_cast<void (*)(void)>(address));
}

int DetectIs64BitWindows(void)
{
    typedef BOOL(WINAPI * IsWow64ProcessProc)(HANDLE, PBOOL);
    int is64 = sizeof(void *) == 8;
    // Looked up, not imported: the first Windows releases the monitor runs on lack it.
    HMODULE kernel = GetModuleHandleA("kernel32");
    if (!is64 && kernel) {
        IsWow64ProcessProc isWow64 =
            ProcFrom<IsWow64ProcessProc>(GetProcAddress(kernel, "IsWow64Process"));
        BOOL wow = FALSE;
        if (isWow64 && isWow64(GetCurrentProcess(), &wow) && wow)
            is64 = 1;
    }
    Is64BitWindows = is64;
    return is64;
}

int ReadKeyText(HKEY key, const char *name, char *out, int cap)
{
    // One byte beyond the read size so that a value stored without its NUL
    // can still be terminated at the size the registry reports.
    char data[REG_TEXT_MAX + 1];
    char expanded[REG_TEXT_MAX];
    const char *text = "";

    if (out && cap > 0)
        out[0] = '\0';
    DWORD type = 0, size = REG_TEXT_MAX;
    if (RegQueryValueExA(key, name, NULL, &type, (BYTE *)data, &size) == ERROR_SUCCESS) {
        if (size > REG_TEXT_MAX)
            size = REG_TEXT_MAX;
        data[size] = '\0';
        if (type == REG_EXPAND_SZ) {
            DWORD need = ExpandEnvironmentStringsA(data, expanded, REG_TEXT_MAX);
            // A result that did not fit counts as unreadable, not as a cut path.
            if (need > 0 && need <= REG_TEXT_MAX) {
                expanded[REG_TEXT_MAX - 1] = '\0';
                text = expanded;
            }
        } else if (type != REG_DWORD) {
            // Binary data in a string value is text up to its first NUL.
            text = data;
        }
    }
    // A text that does not fit whole is worth nothing to the caller: no cut paths.
    size_t len = strlen(text);
    if (!out || cap <= 0 || len == 0 || len + 1 > (size_t)cap)
        return 0;
    CopyText(out, (size_t)cap, text);
    return (int)len;
}

int GetRegString(HKEY root, const char *path, const char *name, char *out, int cap)
{
    HKEY key = NULL;
    if (out && cap > 0)
        out[0] = '\0';
    if (RegOpenKeyExA(root, path, 0, RegReadAccess, &key) != ERROR_SUCCESS)
        return 0;
    int result = ReadKeyText(key, name, out, cap);
    RegCloseKey(key);
    return result;
}

// Opens a key for writing, creating it when missing. traceTag: the trace entry of a
// failed first open, or NULL for none.
static HKEY OpenKeyForWrite(HKEY root, const char *path, const char *traceTag)
{
    HKEY key = NULL;
    LONG rc = RegOpenKeyExA(root, path, 0, RegWriteAccess, &key);
    if (rc == ERROR_SUCCESS)
        return key;
    if (traceTag) {
        // The registry returns its error instead of setting the thread's.
        SetLastError((DWORD)rc);
        TraceLastError(traceTag);
    }
    HKEY created = NULL;
    if (RegCreateKeyExA(root, path, 0, NULL, REG_OPTION_NON_VOLATILE, RegWriteAccess, NULL,
                        &created, NULL) != ERROR_SUCCESS)
        return NULL;
    RegCloseKey(created);
    key = NULL;
    if (RegOpenKeyExA(root, path, 0, RegWriteAccess, &key) != ERROR_SUCCESS)
        return NULL;
    return key;
}

int SetRegString(HKEY root, const char *path, const char *name, const char *text)
{
    if (!text)
        text = "";
    HKEY key = OpenKeyForWrite(root, path, NULL);
    if (!key)
        return 0;
    LONG rc = RegSetValueExA(key, name, 0, REG_SZ, (const BYTE *)text, (DWORD)strlen(text) + 1);
    RegCloseKey(key);
    return rc == ERROR_SUCCESS;
}

int SetRegDWORDValue(HKEY root, const char *path, const char *name, DWORD value)
{
    HKEY key = OpenKeyForWrite(root, path, "MyError:  SetRegDWORDValue RegOpenKeyEx");
    if (!key)
        return 0;
    LONG rc = RegSetValueExA(key, name, 0, REG_DWORD, (const BYTE *)&value, sizeof(value));
    RegCloseKey(key);
    return rc == ERROR_SUCCESS;
}

int CreateRegKey(HKEY root, const char *path)
{
    HKEY key = NULL;
    if (RegCreateKeyExA(root, path, 0, NULL, REG_OPTION_NON_VOLATILE, RegWriteAccess, NULL, &key,
                        NULL) != ERROR_SUCCESS)
        return 0;
    RegCloseKey(key);
    return 1;
}

// Opens the key with the given access and deletes the value; 1 when it was deleted.
static int DeleteValueWith(HKEY root, const char *path, const char *name, REGSAM access)
{
    HKEY key = NULL;
    if (RegOpenKeyExA(root, path, 0, access, &key) != ERROR_SUCCESS)
        return 0;
    int deleted = RegDeleteValueA(key, name) == ERROR_SUCCESS;
    RegCloseKey(key);
    return deleted;
}

int DeleteRegValue(HKEY root, const char *path, const char *name)
{
    // An empty name would delete the key's default value; that is never meant.
    if (!name || !*name) {
        TestLog("RegDeleteValue FALSE", "NULL");
        return 0;
    }
    const char *tag = NULL;
    if (Is64BitWindows) {
        // The 32-bit view first: that is where a 32-bit installer puts its entries.
        if (DeleteValueWith(root, path, name, ALL_ACCESS_32))
            tag = "RegDeleteValue KEY_WOW64_32KEY TRUE";
        else if (DeleteValueWith(root, path, name, ALL_ACCESS_64))
            tag = "RegDeleteValue KEY_WOW64_64KEY TRUE";
    } else if (DeleteValueWith(root, path, name, RegWriteAccess | KEY_SET_VALUE)) {
        tag = "RegDeleteValue KEY_SET_VALUE TRUE";
    }
    TestLog(tag ? tag : "RegDeleteValue FALSE", name);
    return tag != NULL;
}

LONG RegDeleteKeyExAtRunTime(HKEY root, const char *path, REGSAM view)
{
    typedef LONG(WINAPI * RegDeleteKeyExAProc)(HKEY, LPCSTR, REGSAM, DWORD);
    // Windows releases without the call have no views to choose between, so a
    // missing call counts as done.
    LONG rc = ERROR_SUCCESS;
    HMODULE advapi = LoadLibraryA("Advapi32.dll");
    if (!advapi)
        return rc;
    RegDeleteKeyExAProc deleteKeyEx =
        ProcFrom<RegDeleteKeyExAProc>(GetProcAddress(advapi, "RegDeleteKeyExA"));
    if (deleteKeyEx)
        rc = deleteKeyEx(root, path, view, 0);
    FreeLibrary(advapi);
    return rc;
}

// Deletes one key without subkeys; on 64-bit Windows in whichever view holds it.
static int DeleteSingleKey(HKEY root, const char *path)
{
    if (!Is64BitWindows)
        return RegDeleteKeyA(root, path) == ERROR_SUCCESS;
    if (RegDeleteKeyExAtRunTime(root, path, KEY_WOW64_64KEY) == ERROR_SUCCESS)
        return 1;
    return RegDeleteKeyExAtRunTime(root, path, KEY_WOW64_32KEY) == ERROR_SUCCESS;
}

int DeleteRegKeyTree(HKEY root, char *path)
{
    if (!path || !*path)
        return 0;
    if (DeleteSingleKey(root, path))
        return 1;

    // Not deleted at once: it has subkeys, or it is absent.
    HKEY key = NULL;
    LONG rc = RegOpenKeyExA(root, path, 0, RegReadAccess, &key);
    if (rc != ERROR_SUCCESS)
        return rc == ERROR_FILE_NOT_FOUND;

    size_t callerLen = strlen(path);
    int ok = 1;
    if (path[callerLen - 1] != '\\')
        ok = AppendText(path, MAX_PATH, "\\");
    size_t childStart = strlen(path);
    char child[MAX_PATH];
    char previous[MAX_PATH] = "";
    while (ok) {
        DWORD childLen = MAX_PATH;
        if (RegEnumKeyExA(key, 0, child, &childLen, NULL, NULL, NULL, NULL) != ERROR_SUCCESS)
            break;
        // A subkey that a "successful" delete left in place (it sat in the other
        // view) would otherwise come back as index 0 for ever.
        if (previous[0] && StrEqualNoCase(previous, child) == 0) {
            ok = 0;
            break;
        }
        CopyText(previous, CAP(previous), child);
        path[childStart] = '\0';
        if (!AppendText(path, MAX_PATH, child)) {
            ok = 0;
            break;
        }
        ok = DeleteRegKeyTree(root, path);
    }
    path[callerLen] = '\0';
    RegCloseKey(key);
    if (!ok)
        return 0;

    if (!Is64BitWindows)
        return RegDeleteKeyA(root, path) == ERROR_SUCCESS;
    if (RegDeleteKeyExAtRunTime(root, path, KEY_WOW64_64KEY) == ERROR_SUCCESS)
        return 1;
    // A 32-bit process reads HKLM\Software in the 32-bit view by default, so the
    // key just emptied may live only there.
    return RegDeleteKeyExAtRunTime(root, path, KEY_WOW64_32KEY) == ERROR_SUCCESS;
}

DWORD QueryOpenKeyType(HKEY key, const char *name)
{
    DWORD type = 0;
    if (!key)
        return 0;
    if (RegQueryValueExA(key, name, NULL, &type, NULL, NULL) != ERROR_SUCCESS)
        type = 0;
    RegCloseKey(key);
    return type;
}

// Reads a REG_DWORD from an open key and closes it; 1 when the value was read.
// A REG_DWORD of an open key; 1 when it was read.
static int ReadKeyDWORD(HKEY key, const char *name, DWORD *value)
{
    if (!key)
        return 0;
    DWORD type = 0, data = 0, size = sizeof(data);
    LONG rc = RegQueryValueExA(key, name, NULL, &type, (BYTE *)&data, &size);
    // A four-byte string is not a number.
    if (rc != ERROR_SUCCESS || type != REG_DWORD || size != sizeof(data))
        return 0;
    *value = data;
    return 1;
}

// The same, and the key closed.
static int ReadOpenKeyDWORD(HKEY key, const char *name, DWORD *value)
{
    int read = ReadKeyDWORD(key, name, value);
    if (key)
        RegCloseKey(key);
    return read;
}

DWORD QueryKeyDWORD(HKEY key, const char *name)
{
    DWORD value = 0;
    return ReadKeyDWORD(key, name, &value) ? value : 0;
}

DWORD QueryOpenKeyDWORD(HKEY key, const char *name)
{
    DWORD value = 0;
    if (!ReadOpenKeyDWORD(key, name, &value))
        return 0;
    return value;
}

long QueryOpenKeyDWORDOr(HKEY key, const char *name)
{
    DWORD value = 0;
    if (!ReadOpenKeyDWORD(key, name, &value))
        return -1;
    return (long)value;
}

int GetRegDWORD(HKEY root, const char *path, const char *name, DWORD *value)
{
    HKEY key = NULL;
    if (!value || RegOpenKeyExA(root, path, 0, RegReadAccess, &key) != ERROR_SUCCESS)
        return 0;
    return ReadOpenKeyDWORD(key, name, value);
}

int GetRegValueText(HKEY root, const char *path, const char *name, char *out, int cap, DWORD *type)
{
    HKEY key = NULL;
    if (!out || cap < 2)
        return 0;
    out[0] = '\0';
    *type = REG_NONE;
    // The default view of the merged classes root: naming a view there costs a
    // handle per open under Wine, and the classes root is one tree on Windows.
    REGSAM access = root == HKEY_CLASSES_ROOT ? RegReadAccess & ~(KEY_WOW64_32KEY | KEY_WOW64_64KEY) : RegReadAccess;
    if (RegOpenKeyExA(root, path, 0, access, &key) != ERROR_SUCCESS)
        return 0;
    DWORD size = (DWORD)cap - 1;
    LONG rc = RegQueryValueExA(key, name, NULL, type, (BYTE *)out, &size);
    RegCloseKey(key);
    if (rc == ERROR_MORE_DATA) {
        out[0] = '\0';
        return -1;
    }
    if (rc != ERROR_SUCCESS) {
        out[0] = '\0';
        return 0;
    }
    if (*type == REG_DWORD && size == sizeof(DWORD)) {
        DWORD value;
        memcpy(&value, out, sizeof(value));
        FormatText(out, (size_t)cap, "%d", (int)value);
    } else {
        // Binary data in a string value is text up to its first NUL.
        out[size < (DWORD)cap ? size : (DWORD)cap - 1] = '\0';
    }
    return 1;
}

// A read-only win.ini makes the profile write fail without a word.
static void ClearWinIniReadOnly(void)
{
    char iniPath[MAX_PATH];
    UINT n = GetWindowsDirectoryA(iniPath, MAX_PATH);
    if (n == 0 || n >= MAX_PATH || !AppendText(iniPath, CAP(iniPath), "\\win.ini"))
        return;
    DWORD attributes = GetFileAttributesA(iniPath);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        SetFileAttributesA(iniPath, attributes & ~FILE_ATTRIBUTE_READONLY);
}

int ReadWinIniList(const char *key, char *out)
{
    DWORD n = GetProfileStringA("windows", key, "", out, WIN_INI_LIST_MAX);
    // A value that fills the buffer was cut: it is not the list as it stands.
    if (n >= WIN_INI_LIST_MAX - 1) {
        TestLog("ReadWinIniList list too long", key);
        return -1;
    }
    return (int)n;
}

static int WriteWinIniList(const char *key, const char *line)
{
    ClearWinIniReadOnly();
    if (!WriteProfileStringA("windows", key, line)) {
        TraceLastError("MyError:  WriteWinIniList WriteProfileString");
        return 0;
    }
    return 1;
}

int AddToWinIniList(const char *key, const char *item)
{
    char *line = (char *)HeapAlloc(GetProcessHeap(), 0, WIN_INI_LIST_MAX);
    int added = 0;
    if (!item)
        item = "";
    if (line && ReadWinIniList(key, line) >= 0) {
        // The separator goes first, so an empty line becomes ";item". A list that
        // would no longer fit is left as it is rather than written without the item.
        if (AppendText(line, WIN_INI_LIST_MAX, ";") && AppendText(line, WIN_INI_LIST_MAX, item) &&
            strlen(line) < WIN_INI_LIST_MAX - 1)
            added = WriteWinIniList(key, line);
        else
            TestLog("AddToWinIniList list too long", item);
    }
    if (line)
        HeapFree(GetProcessHeap(), 0, line);
    return added;
}

int RemoveFromWinIniList(const char *key, const char *item)
{
    char *line = (char *)HeapAlloc(GetProcessHeap(), 0, 2 * WIN_INI_LIST_MAX);
    int removed = 0;
    if (!item)
        item = "";
    if (line && ReadWinIniList(key, line) >= 0) {
        char *kept = line + WIN_INI_LIST_MAX;
        kept[0] = '\0';
        for (char *p = line; *p;) {
            char *end = strchr(p, ';');
            if (end)
                *end = '\0';
            // Empty pieces between two separators are not entries and are not kept.
            // Only the whole entry matches: "tool.exe" must not take "toolbar.exe" along.
            if (p[0] && StrEqualNoCase(p, item) == 0) {
                removed = 1;
            } else if (p[0]) {
                AppendText(kept, WIN_INI_LIST_MAX, p);
                AppendText(kept, WIN_INI_LIST_MAX, ";");
            }
            if (!end)
                break;
            p = end + 1;
        }
        if (removed)
            removed = WriteWinIniList(key, kept);
    }
    if (line)
        HeapFree(GetProcessHeap(), 0, line);
    return removed;
}

static const char *const VersionFieldNames[5] = {
    "ProductName", "ProductVersion", "CompanyName", "FileDescription", "LegalCopyright",
};

static char *VersionField(VersionRecord *rec, int index)
{
    switch (index) {
    case 0: return rec->ProductName;
    case 1: return rec->ProductVersion;
    case 2: return rec->CompanyName;
    case 3: return rec->FileDescription;
    default: return rec->LegalCopyright;
    }
}

// Reads the five strings of every translation into the record; the last one wins.
static void ReadVersionStrings(const char *block, VersionRecord *rec)
{
    WORD *translations = NULL;
    UINT bytes = 0;
    if (!VerQueryValueA(block, "\\VarFileInfo\\Translation", (void **)&translations, &bytes) ||
        !translations)
        return;
    UINT count = bytes / (2 * sizeof(WORD));
    for (UINT t = 0; t < count; t++) {
        WORD language = translations[2 * t], codePage = translations[2 * t + 1];
        for (int f = 0; f < 5; f++) {
            char query[128];
            FormatText(query, CAP(query), "\\StringFileInfo\\%04x%04x\\%s", language, codePage,
                       VersionFieldNames[f]);
            char *value = NULL;
            UINT valueLen = 0;
            const char *text = "";
            if (VerQueryValueA(block, query, (void **)&value, &valueLen) && value && valueLen > 0 &&
                strnlen(value, VERSION_VALUE_MAX + 1) <= VERSION_VALUE_MAX)
                text = value;
            CopyText(VersionField(rec, f), VERSION_FIELD_MAX, text);
        }
    }
}

int GetVersionInfo(const char *path, VersionRecord *rec)
{
    // Room past the largest accepted block: a value's length check may look a
    // little beyond the data without leaving the buffer.
    static const size_t BlockRoom = VERSION_BLOCK_MAX + VERSION_VALUE_MAX + 1;
    char *block = NULL;
    PVOID redirection = NULL;
    DWORD handle = 0;

    for (int f = 0; f < 5; f++)
        VersionField(rec, f)[0] = '\0';
    if (!path || !*path)
        return 0;

    DisableFsRedirection(&redirection);
    int read = 0;
    DWORD size = GetFileVersionInfoSizeA(path, &handle);
    if (size >= VERSION_BLOCK_MAX)
        TraceLastError("MyError:  GetVersionInfoEx GetFileVersionInfoSize");
    else if (size > 0)
        block = (char *)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, BlockRoom);
    if (block && GetFileVersionInfoA(path, 0, size, block)) {
        ReadVersionStrings(block, rec);
        read = 1;
    }
    RevertFsRedirection(redirection);
    if (block)
        HeapFree(GetProcessHeap(), 0, block);
    if (!read)
        return 0;

    // System files name the product "... Operating System"; their description says more.
    if (StrContains(rec->ProductName, "Operating System"))
        CopyText(rec->ProductName, VERSION_FIELD_MAX, rec->FileDescription);
    if (!rec->CompanyName[0]) {
        // Without a company the installation folder usually names the vendor.
        char vendor[MAX_PATH] = "";
        if (GetProgramFilesVendor(path, vendor) > 0)
            CopyText(rec->CompanyName, VERSION_FIELD_MAX, vendor);
    }
    return rec->ProductName[0] != '\0';
}

int FindAppPath(const char *exeName, char *versionOut)
{
    static const struct {
        HKEY root;
        const char *base;
        const char *value;
    } Places[] = {
        {HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths", NULL},
        {HKEY_CURRENT_USER, "Software\\Microsoft\\IntelliPoint\\AppSpecific", "Path"},
        {HKEY_CURRENT_USER, "Software\\Microsoft\\IntelliType Pro\\AppSpecific", "Path"},
    };
    char keyPath[2 * MAX_PATH];
    char exePath[MAX_PATH] = "";
    int found = 0;

    if (versionOut)
        versionOut[0] = '\0';
    if (!exeName || !*exeName || strnlen(exeName, MAX_PATH) >= MAX_PATH)
        return 0;
    for (const auto &place : Places) {
        if (!FormatText(keyPath, CAP(keyPath), "%s\\%s", place.base, exeName))
            continue;
        if (GetRegString(place.root, keyPath, place.value, exePath, MAX_PATH) > 0) {
            found = 1;
            break;
        }
    }
    if (!found || !FileExists(exePath))
        return 0;
    VersionRecord *rec = (VersionRecord *)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY,
                                                    sizeof(VersionRecord));
    if (rec) {
        GetVersionInfo(exePath, rec);
        if (versionOut)
            CopyText(versionOut, VERSION_FIELD_MAX, rec->ProductVersion);
        HeapFree(GetProcessHeap(), 0, rec);
    }
    return 1;
}

RegAccessModes UseRegistryView(REGSAM view)
{
    const REGSAM viewBits = KEY_WOW64_32KEY | KEY_WOW64_64KEY;
    RegAccessModes saved = {RegReadAccess, RegWriteAccess};
    RegReadAccess = (saved.read & ~viewBits) | view;
    RegWriteAccess = (saved.write & ~viewBits) | view;
    return saved;
}

void PutRegistryAccessBack(RegAccessModes saved)
{
    RegReadAccess = saved.read;
    RegWriteAccess = saved.write;
}
