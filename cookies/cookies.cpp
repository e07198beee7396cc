// The two cookie steps of the scan pass: removal of what the filters name, and
// the collection of the store whose first unseen cookie brings the notice.
#include "cookies/cookies.h"

#include <string.h>

#include "common/files.h"
#include "common/registry.h"
#include "common/text.h"
#include "common/tracelog.h"
#include "cookies/cookie_stores.h"
#include "common/runlist.h"

#define IE_COOKIE_READ_MAX 16384

// The third line of an Internet Explorer cookie file: the cookie's host and
// path. ReadtheFile gives every LF with a CR before it; both go.
static void ThirdLine(const char *text, DWORD size, char *out)
{
    out[0] = '\0';
    const char *p = text, *end = text + size;
    for (int skip = 0; skip < 2 && p < end; skip++) {
        const char *lf = (const char *)memchr(p, '\n', (size_t)(end - p));
        p = lf ? lf + 1 : end;
    }
    const char *lf = p < end ? (const char *)memchr(p, '\n', (size_t)(end - p)) : NULL;
    size_t len = (size_t)((lf ? lf : end) - p);
    while (len > 0 && p[len - 1] == '\r')
        len--;
    CopyTextN(out, RUN_PATH_MAX, p, len);
}

typedef struct IECookieWalk {
    RunList *list;
    int remove;   // removal on: files a filter names are deleted
    int added;    // records of the files that stay
} IECookieWalk;

static int IECookieFile(const char *path, const WIN32_FIND_DATAA *found, void *arg)
{
    IECookieWalk *walk = (IECookieWalk *)arg;
    // Collecting into a full list (or one holding "MaxCookie" cookies): no later
    // file could be listed, the walk ends.
    if (!walk->remove && (!walk->list || walk->list->count >= RUN_LIST_MAX || walk->list->count >= giMaxCookie))
        return 1;
    size_t len = strlen(found->cFileName);
    if ((found->dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || len < 4 ||
        lstrcmpiA(found->cFileName + len - 4, ".txt") != 0)
        return 0;
    char host[RUN_PATH_MAX] = "";
    DWORD size = IE_COOKIE_READ_MAX;
    HGLOBAL block = ReadtheFile(path, &size);
    const char *text = block ? (const char *)GlobalLock(block) : NULL;
    if (text)
        ThirdLine(text, size, host);
    if (block) {
        GlobalUnlock(block);
        GlobalFree(block);
    }
    if (walk->remove && (MatchesNutsFilter(path) || (host[0] && MatchesNutsFilter(host)))) {
        if (fileRemoveFile(path))
            return 0;
        TraceLastError("MyError:  EatCookies fileRemoveFile");
    }
    // The find record holds the last-write time: the file need not be asked again.
    char when[FILE_TIME_TEXT_MAX];
    FormatWriteTime(&found->ftLastWriteTime, when);
    walk->added += AddRunStruct(walk->list, found->cFileName, path, host, when, CODE_COOKIE, 0);
    return 0;
}

int ProcessIECookies(RunList *list, int remove)
{
    // Each step lists the cookies of one store only.
    FreeRunList(list);
    char folder[MAX_PATH];
    if (!GetIECookieFolder(folder))
        return 0;
    giWalkMode = WALK_COOKIES;
    IECookieWalk walk = {list, remove, 0};
    WalkFolder(folder, IECookieFile, 0, &walk);
    return walk.added;
}

// The profile folder without a trailing "\", as the cookie file names follow it.
static int FindMozillaProfile(char *folder)
{
    if (!GetMozillaCookieFolder(folder))
        return 0;
    size_t len = strlen(folder);
    if (len > 0 && folder[len - 1] == '\\')
        folder[len - 1] = '\0';
    return 1;
}

int ProcessMozillaCookies(RunList *list, int remove)
{
    FreeRunList(list);
    giWalkMode = WALK_COOKIES;
    char folder[MAX_PATH];
    if (!FindMozillaProfile(folder))
        return 0;
    if (GetMozillaMajorVersion() > 2) {
        char path[MAX_PATH];
        if (!FormatText(path, CAP(path), "%s\\cookies.sqlite", folder))
            return 0;
        return ProcessCookieDatabase(list, path);
    }
    return ProcessCookieTextFile(list, folder, remove);
}

int EatCookies(ScanPass *pass)
{
    (void)pass;
    DecideBrowserFamily();
    int kept = 0;
    RunList *list = NewRunList();
    if (list && LoadNutsList() > 0)
        kept = giBrowserFamily == BROWSER_FAMILY_MOZILLA ? ProcessMozillaCookies(list, 1) : ProcessIECookies(list, 1);
    FreeNutsList();
    DeleteRunList(list);
    return kept;
}

int PendingCookieFileStep(void)
{
    if (giBrowserFamily != BROWSER_FAMILY_MOZILLA)
        return 0;
    char folder[MAX_PATH];
    if (!FindMozillaProfile(folder))
        return 0;
    if (!UpdateCookieFile(folder))
        return 0;
    DeleteRegValue(HKEY_CURRENT_USER, OPTIONS_KEY, "UpdateCookieFile");
    ClearOneTimeNuts();
    return 1;
}

int HasUnseenCookie(const RunList *list)
{
    char key[RUN_NAME_MAX], seen[64];
    // One open key for the whole list: each lookup is then one value read. A
    // missing key knows no cookie, so the first one is unseen.
    HKEY known = NULL;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, KNOWN_COOKIES_KEY, 0, RegReadAccess, &known) != ERROR_SUCCESS)
        known = NULL;
    int unseen = 0;
    for (int i = 0; list && i < list->count && !unseen; i++) {
        int code = GetRunCode(list, i);
        if ((code != CODE_COOKIE && code != CODE_MOZILLA_COOKIE) || !GetRunName(list, i, key))
            continue;
        unseen = !known || ReadKeyText(known, key, seen, CAP(seen)) <= 0;
    }
    if (known)
        RegCloseKey(known);
    return unseen;
}

int CollectCookies(void)
{
    RunList *list = NewRunList();
    if (!list)
        return 0;
    if (giBrowserFamily == BROWSER_FAMILY_MOZILLA)
        ProcessMozillaCookies(list, 0);
    else
        ProcessIECookies(list, 0);
    int unseen = HasUnseenCookie(list);
    DeleteRunList(list);
    return unseen;
}
