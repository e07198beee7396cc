// Class ids: the name and in-process server of a CLSID, from whichever registry
// view registered it. Browser add-ons, ActiveX controls and the shell-hook
// startup entries all name their program this way.
#include <string.h>

#include "common/file_facts.h"
#include "common/files.h"
#include "common/registry.h"
#include "common/text.h"
#include "common/tracelog.h"

// "{" 8-4-4-4-12 "}" is 38 characters; anything much longer is not a class id.
#define CLSID_TEXT_MAX 64
#define CLASS_KEY_MAX 96
#define VIEW_BITS (KEY_WOW64_32KEY | KEY_WOW64_64KEY)

int giClsidReads;

// The id with its braces, cut at its "}"; 0 for what cannot be an id (empty, too
// long, or holding a "\" that would lead into another key).
static int BracedId(const char *clsid, char *out)
{
    if (!clsid || !clsid[0])
        return 0;
    const char *body = clsid[0] == '{' ? clsid + 1 : clsid;
    size_t len = strcspn(body, "}");
    if (len == 0 || len + 3 > CLSID_TEXT_MAX || memchr(body, '\\', len))
        return 0;
    out[0] = '{';
    CopyTextN(out + 1, CLSID_TEXT_MAX - 1, body, len);
    AppendText(out, CLSID_TEXT_MAX, "}");
    return 1;
}

// The view a process reads when it names none.
static REGSAM NativeView(void)
{
    if (sizeof(void *) == 8)
        return KEY_WOW64_64KEY;
    return Is64BitWindows ? KEY_WOW64_32KEY : 0;
}

// The flag to open HKEY_CLASSES_ROOT with for a view. The native view is opened
// without one: Wine leaks a handle on every HKEY_CLASSES_ROOT open that names it.
static REGSAM OpenFlagFor(REGSAM view)
{
    return view == NativeView() ? 0 : view;
}

static void KeyTime(HKEY key, FILETIME *out)
{
    memset(out, 0, sizeof(*out));
    RegQueryInfoKeyA(key, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, out);
}

// Reads the class's name and server from its open keys, as a startup entry's path
// is cleaned: quotes removed, long form.
static void ReadRegistration(HKEY classKey, HKEY serverKey, const char *id, char *name, char *path)
{
    char text[REG_TEXT_MAX], raw[MAX_PATH], plain[MAX_PATH];
    DWORD size = 0;
    giClsidReads++;
    name[0] = path[0] = '\0';
    if (ReadKeyText(classKey, "", text, CAP(text)) > 0) {
        CopyText(name, CLSID_NAME_MAX, text);
    } else if (RegQueryValueExA(classKey, "", NULL, NULL, NULL, &size) == ERROR_SUCCESS && size > REG_TEXT_MAX) {
        // A name too long to read must not hide the class: it goes by its id.
        TestLog("ResolveClsid name too long", id);
        CopyText(name, CLSID_NAME_MAX, id);
    }
    if (ReadKeyText(serverKey, "", raw, CAP(raw)) <= 0) {
        if (RegQueryValueExA(serverKey, "", NULL, NULL, NULL, &size) == ERROR_SUCCESS && size > 1)
            TestLog("ResolveClsid server unreadable", id);
        return;
    }
    StripQuotes(raw, plain);
    if (strlen(plain) > 3)
        GetLongPath(plain, path);
    else
        CopyText(path, MAX_PATH, plain);
}

// One place a class may be registered in. The keys' last-write times stamp what the
// cache keeps: a new name changes the class key's, a new server the server key's,
// and a server key deleted and made again the class key's.
static int ResolveAt(const char *prefix, REGSAM view, const char *id, char *name, char *path)
{
    char keyPath[CLASS_KEY_MAX], factName[CLASS_KEY_MAX];
    HKEY classKey = NULL, serverKey = NULL;
    name[0] = path[0] = '\0';
    FormatText(keyPath, CAP(keyPath), "%s%s", prefix, id);
    REGSAM access = KEY_READ | OpenFlagFor(view);
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, keyPath, 0, access, &classKey) != ERROR_SUCCESS)
        return 0;
    if (RegOpenKeyExA(classKey, "InprocServer32", 0, access, &serverKey) == ERROR_SUCCESS) {
        FILETIME classTime, serverTime;
        FileFact nameFact, pathFact;
        KeyTime(classKey, &classTime);
        KeyTime(serverKey, &serverTime);
        FormatText(factName, CAP(factName), "<%lu>%s", (unsigned long)view, keyPath);
        if (LookupStampedFact(factName, &classTime, &serverTime, FACT_CLSID_NAME, &nameFact) &&
            LookupStampedFact(factName, &classTime, &serverTime, FACT_CLSID_PATH, &pathFact)) {
            CopyText(name, CLSID_NAME_MAX, nameFact.text);
            CopyText(path, MAX_PATH, pathFact.text);
        } else {
            ReadRegistration(classKey, serverKey, id, name, path);
            nameFact.status = pathFact.status = 1;
            // A name too long for a fact is read again each time rather than kept cut.
            if (CopyText(nameFact.text, CAP(nameFact.text), name) && CopyText(pathFact.text, CAP(pathFact.text), path)) {
                StoreStampedFact(factName, &classTime, &serverTime, FACT_CLSID_NAME, &nameFact);
                StoreStampedFact(factName, &classTime, &serverTime, FACT_CLSID_PATH, &pathFact);
            }
        }
        RegCloseKey(serverKey);
    }
    RegCloseKey(classKey);
    return path[0] != '\0';
}

int ResolveClsid(const char *clsid, char *name, char *path)
{
    char id[CLSID_TEXT_MAX], nameBuffer[CLSID_NAME_MAX];
    if (!name)
        name = nameBuffer;
    name[0] = '\0';
    if (!path)
        return 0;
    path[0] = '\0';
    if (!BracedId(clsid, id))
        return 0;
    // First the view the caller names (a listing of 32-bit add-ons wants their 32-bit
    // registration), else the 64-bit classes, which a 32-bit monitor would not see
    // otherwise; then the 64-bit classes and the 32-bit ones under their own name.
    REGSAM first = RegReadAccess & VIEW_BITS;
    if (!first)
        first = Is64BitWindows ? KEY_WOW64_64KEY : 0;
    if (ResolveAt("CLSID\\", first, id, name, path))
        return 1;
    if (!Is64BitWindows)
        return 0;
    if (first != KEY_WOW64_64KEY && ResolveAt("CLSID\\", KEY_WOW64_64KEY, id, name, path))
        return 1;
    return ResolveAt("Wow6432Node\\CLSID\\", KEY_WOW64_64KEY, id, name, path);
}
