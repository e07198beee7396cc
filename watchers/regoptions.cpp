// Custom registry monitoring: the watch list read into the run list, each watched
// value compared with its approved data, and the answer carried out.
#include "watchers/regoptions.h"

#include <string.h>

#include "common/appstate.h"
#include "common/history.h"
#include "common/reg_script.h"
#include "common/registry.h"
#include "common/text.h"
#include "common/tracelog.h"
#include "ui/alert.h"

#define WATCH_NAME_MAX 256          // RegEnumValueA names: 255 characters
#define MESSAGE_MAX 2048

static const struct {
    const char *name;
    HKEY root;
} Roots[] = {
    {"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},   {"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
    {"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE}, {"HKEY_USERS", HKEY_USERS},
    {"HKEY_CURRENT_CONFIG", HKEY_CURRENT_CONFIG},
};

HKEY RegOptionsRoot(const char *rootName, const char **canonical)
{
    int found = 1;  // HKEY_CURRENT_USER
    for (int i = 0; i < (int)(sizeof(Roots) / sizeof(Roots[0])); i++)
        if (lstrcmpiA(rootName, Roots[i].name) == 0)
            found = i;
    if (canonical)
        *canonical = Roots[found].name;
    return Roots[found].root;
}

// One watch-list entry into the list: "<root>\<key path>\<value name>" split at the
// first and the last backslash.
static int AddWatchedValue(RunList *list, const char *entry, const char *approved, DWORD type)
{
    const char *first = strchr(entry, '\\'), *last = strrchr(entry, '\\');
    char root[RUN_NAME_MAX], key[RUN_PATH_MAX];
    if (!first || first == last || !CopyTextN(root, CAP(root), entry, (size_t)(first - entry)) ||
        !CopyTextN(key, CAP(key), first + 1, (size_t)(last - first - 1))) {
        TestLog("ListRegOptions no key path or too long", entry);
        return 0;
    }
    DWORD lock = 0;
    GetRegDWORD(HKEY_CURRENT_USER, REGLOCK_KEY, entry, &lock);
    if (!AddRunRecord(list, root, key, last + 1, approved, (int)lock, (int)type)) {
        TestLog("ListRegOptions not kept", entry);
        return 0;
    }
    return 1;
}

int ListRegOptions(RunList *list)
{
    HKEY key;
    if (!list || RegOpenKeyExA(HKEY_CURRENT_USER, REGOPTIONS_KEY, 0, RegReadAccess, &key) != ERROR_SUCCESS)
        return 0;
    int count = 0;
    char entry[WATCH_NAME_MAX];
    // One byte beyond what is asked for, so the text is terminated at the size read.
    char data[RUN_DETAILS_MAX + 1];
    for (DWORD i = 0;; i++) {
        DWORD nameLength = sizeof(entry), size = RUN_DETAILS_MAX - 1, type = REG_NONE;
        LONG rc = RegEnumValueA(key, i, entry, &nameLength, NULL, &type, (BYTE *)data, &size);
        if (rc == ERROR_MORE_DATA) {
            // A name or approved data this long cannot be watched exactly.
            TestLog("ListRegOptions", "an entry too long to watch is skipped");
            continue;
        }
        if (rc != ERROR_SUCCESS)
            break;
        char approved[RUN_DETAILS_MAX];
        if (type == REG_DWORD && size == sizeof(DWORD)) {
            DWORD value;
            memcpy(&value, data, sizeof(value));
            FormatText(approved, CAP(approved), "%d", (int)value);
        } else {
            type = REG_SZ;
            data[size] = '\0';
            CopyText(approved, CAP(approved), data);
        }
        count += AddWatchedValue(list, entry, approved, type);
    }
    RegCloseKey(key);
    return count;
}

// The approved data written back: through the registry layer, or for the machine's
// keys that this user may not write, through a registry script the editor imports
// with the rights it asks for. 1 when done.
static int PutWatchedValueBack(const RunStruct *w, HKEY root, const char *rootName)
{
    int written = w->extra == REG_DWORD
                      ? SetRegDWORDValue(root, w->path, w->sourcePath, (DWORD)TextToInt(w->details))
                      : SetRegString(root, w->path, w->sourcePath, w->details);
    if (!written && root == HKEY_LOCAL_MACHINE)
        written = CreateRegCommand(rootName, w->path, w->sourcePath, w->details,
                                   w->extra == REG_DWORD ? REGCMD_DWORD : REGCMD_STRING);
    if (!written)
        TestLog("MyError:  VerifyRegOptions write back", w->path);
    return written;
}

// The current data becomes the approved one, with the type it has now.
static void ApproveWatchedValue(const RunStruct *w, const char *current, DWORD type)
{
    char entry[3 * RUN_PATH_MAX];
    if (!FormatText(entry, CAP(entry), "%s\\%s\\%s", w->name, w->path, w->sourcePath))
        return;
    if (type == REG_DWORD)
        SetRegDWORDValue(HKEY_CURRENT_USER, REGOPTIONS_KEY, entry, (DWORD)TextToInt(current));
    else
        SetRegString(HKEY_CURRENT_USER, REGOPTIONS_KEY, entry, current);
}

static int AskAboutValue(const RunStruct *w, const char *current)
{
    char text[LANG_TEXT_MAX], message[MESSAGE_MAX];
    GetLangString(w->sourcePath[0] ? 1401 : 1402, CAP(text), text);
    FormatText(message, CAP(message), "%s\n\n%s  %s: %s ", text, w->path, w->sourcePath, current);
    bMsgOpen = 1;
    PlayAlertSound(SOUND_REGOPTIONS);
    int answer = MessageBoxExA(NULL, message, gszTitle, MB_YESNO | MB_ICONEXCLAMATION | MB_TOPMOST, UILanguage);
    bMsgOpen = 0;
    return answer;
}

// One watched value: 1 when it had changed.
static int VerifyWatchedValue(const RunStruct *w)
{
    const char *rootName;
    HKEY root = RegOptionsRoot(w->name, &rootName);
    char current[RUN_DETAILS_MAX];
    DWORD type;
    int read = GetRegValueText(root, w->path, w->sourcePath, current, CAP(current), &type);
    // A key or value that is gone is not put back: the watch is on the data, and
    // writing would make the key.
    if (read < 0)
        TestLog("VerifyRegOptions value too long to compare", w->path);
    if (read <= 0 || StrEqualNoCase(current, w->details) == 0)
        return 0;
    char trace[MESSAGE_MAX];
    FormatText(trace, CAP(trace), "Key: %s  Name: %s  NewValue: %s", w->path, w->sourcePath, current);
    TestLog("Registry Review", trace);
    char where[2 * RUN_PATH_MAX];
    FormatText(where, CAP(where), "%s\\%s", rootName, w->path);
    int answer = w->code ? IDNO : AskAboutValue(w, current);
    if (answer == IDYES) {
        ApproveWatchedValue(w, current, type);
        WriteLog(LOG_SETTING_ACCEPT, CODE_REGVALUE, w->sourcePath, where, current);
    } else if (answer == IDNO && PutWatchedValueBack(w, root, rootName)) {
        WriteLog(LOG_SETTING_RESTORE, CODE_REGVALUE, w->sourcePath, where, w->details);
    }
    return 1;
}

int VerifyRegOptions(ScanPass *pass)
{
    (void)pass;
    TestLog("VerifyRegOptions", " -- BEGIN --");
    RunList *list = NewRunList();
    if (!list)
        return 0;
    // A 32-bit monitor watches the values where 64-bit Windows keeps them.
    RegAccessModes saved = UseRegistryView(Is64BitWindows ? KEY_WOW64_64KEY : 0);
    int count = ListRegOptions(list), changes = 0;
    char text[64];
    FormatText(text, CAP(text), "RunCount = %d  OptionMinutes = %d", count, giRegOptions);
    TestLog("VerifyRegOptions", text);
    RunStruct watched;
    for (int i = 0; i < count; i++)
        if (GetRunRecord(list, i, &watched))
            changes += VerifyWatchedValue(&watched);
    PutRegistryAccessBack(saved);
    DeleteRunList(list);
    TestLog("VerifyRegOptions", " -- END --");
    return changes;
}
