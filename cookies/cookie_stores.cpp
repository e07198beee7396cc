// Finding the cookie stores. Every place that fails only moves the search on to
// the next one; nothing here is reported to the user.
#include "cookies/cookie_stores.h"

#include <shlobj.h>
#include <string.h>

#include "common/files.h"
#include "common/registry.h"
#include "common/text.h"
#include "common/appstate.h"
#include "common/options.h"

#define SHELL_FOLDERS_KEY "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders"
#define USER_SHELL_FOLDERS_KEY "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders"
#define PALE_MOON_PROFILES "\\Moonchild Productions\\Pale Moon\\Profiles\\"
#define FIREFOX_PROFILES "\\Mozilla\\FireFox\\Profiles\\"
#define OLD_DEFAULT_PROFILE "\\Mozilla\\Profiles\\default\\"

int giBrowserFamily = BROWSER_FAMILY_IE;

int DecideBrowserFamily(void)
{
    switch (GetDefaultBrowserKind()) {
    case 2:   // Netscape
    case 3:   // Firefox
    case 6:   // Mozilla
        giBrowserFamily = BROWSER_FAMILY_MOZILLA;
        break;
    default:  // Internet Explorer and the browsers built on it; Pale Moon
        giBrowserFamily = BROWSER_FAMILY_IE;
        break;
    }
    return giBrowserFamily;
}

static int FolderHolds(const char *folder, const char *name)
{
    size_t len = strlen(folder);
    char path[MAX_PATH];
    const char *sep = folder[len - 1] == '\\' ? "" : "\\";
    return FormatText(path, CAP(path), "%s%s%s", folder, sep, name) && FileExists(path);
}

int GetCookieIndexKind(const char *folder)
{
    if (!folder || strnlen(folder, MAX_PATH) < 3)
        return COOKIE_INDEX_NONE;
    if (FolderHolds(folder, "index.dat"))
        return COOKIE_INDEX_DAT;
    if (FolderHolds(folder, "container.dat"))
        return COOKIE_CONTAINER_DAT;
    return COOKIE_INDEX_NONE;
}

// 1 when folder has an index; then out is the folder ("\" added for container.dat).
static int TakeIECookieFolder(const char *folder, char *out)
{
    int kind = GetCookieIndexKind(folder);
    if (kind == COOKIE_INDEX_NONE)
        return 0;
    CopyText(out, MAX_PATH, folder);
    if (kind == COOKIE_CONTAINER_DAT && out[strlen(out) - 1] != '\\' && !AppendText(out, MAX_PATH, "\\")) {
        out[0] = '\0';
        return 0;
    }
    return 1;
}

int GetIECookieFolder(char *out)
{
    if (!out)
        return 0;
    out[0] = '\0';
    char folder[MAX_PATH] = "";
    if (GetRegString(HKEY_CURRENT_USER, BRACKMOOR_KEY, "IECookieFolder", folder, MAX_PATH) > 0 &&
        TakeIECookieFolder(folder, out))
        return 1;
    folder[0] = '\0';
    if (SHGetSpecialFolderPathA(ghMainWnd, folder, CSIDL_COOKIES, FALSE) && TakeIECookieFolder(folder, out))
        return 1;
    if (GetRegString(HKEY_CURRENT_USER, SHELL_FOLDERS_KEY, "Cookies", folder, MAX_PATH) > 0) {
        if (TakeIECookieFolder(folder, out))
            return 1;
        // Protected-mode browsing keeps its cookies in a folder of their own.
        if (AppendText(folder, CAP(folder), "\\low") && TakeIECookieFolder(folder, out))
            return 1;
    }
    if (GetRegString(HKEY_CURRENT_USER, USER_SHELL_FOLDERS_KEY, "Cookies", folder, MAX_PATH) > 0 &&
        TakeIECookieFolder(folder, out))
        return 1;
    UINT n = GetWindowsDirectoryA(folder, MAX_PATH);
    if (n > 0 && n < MAX_PATH && AppendText(folder, CAP(folder), "\\Cookies") && TakeIECookieFolder(folder, out))
        return 1;
    return 0;
}

const char *MozillaCookieFileName(int majorVersion)
{
    return majorVersion > 2 ? "\\cookies.sqlite" : "\\cookies.txt";
}

static int MajorVersionOf(const char *exeName, int *version)
{
    char text[VERSION_FIELD_MAX];
    if (!FindAppPath(exeName, text))
        return 0;
    *version = TextToInt(text);
    return 1;
}

int GetMozillaMajorVersion(void)
{
    int version = 0;
    if (MajorVersionOf("palemoon.exe", &version) || MajorVersionOf("firefox.exe", &version))
        return version;
    return 0;
}

// The first entry of profiles matching pattern (not "." or ".."), as a full path in out.
static int FindProfile(const char *profiles, const char *pattern, char *out)
{
    char search[MAX_PATH];
    if (!FormatText(search, CAP(search), "%s%s", profiles, pattern))
        return 0;
    WIN32_FIND_DATAA found;
    HANDLE h = FindFirstFileA(search, &found);
    if (h == INVALID_HANDLE_VALUE)
        return 0;
    int ok = 0;
    do {
        if (!IsDotEntry(found.cFileName)) {
            ok = FormatText(out, MAX_PATH, "%s%s", profiles, found.cFileName);
            break;
        }
    } while (FindNextFileA(h, &found));
    FindClose(h);
    return ok;
}

// A profile folder counts when it holds the cookie file of the browser's version.
static int ProfileHoldsCookies(char *folder, int version)
{
    size_t len = strlen(folder);
    if (len > 0 && folder[len - 1] == '\\')
        folder[--len] = '\0';
    if (len < 4)
        return 0;
    char file[MAX_PATH];
    return FormatText(file, CAP(file), "%s%s", folder, MozillaCookieFileName(version)) && FileExists(file);
}

int GetMozillaCookieFolder(char *out)
{
    if (!out)
        return 0;
    out[0] = '\0';
    if (GetRegString(HKEY_CURRENT_USER, BRACKMOOR_KEY, "CookieFolder", out, MAX_PATH) > 0)
        return 1;
    char user[128] = "", appData[MAX_PATH] = "";
    GetUserNameFromProfile(user);
    if (GetRegString(HKEY_CURRENT_USER, SHELL_FOLDERS_KEY, "AppData", appData, MAX_PATH) <= 0)
        return 0;
    char paleMoon[MAX_PATH], firefox[MAX_PATH], oldDefault[MAX_PATH];
    if (!FormatText(paleMoon, CAP(paleMoon), "%s%s", appData, PALE_MOON_PROFILES) ||
        !FormatText(firefox, CAP(firefox), "%s%s", appData, FIREFOX_PROFILES) ||
        !FormatText(oldDefault, CAP(oldDefault), "%s%s", appData, OLD_DEFAULT_PROFILE))
        return 0;
    int version = GetMozillaMajorVersion();
    char folder[MAX_PATH] = "";
    if (FindProfile(paleMoon, "*.default", folder) || FindProfile(firefox, "*.default", folder) ||
        FindProfile(firefox, "default.*", folder)) {
        if (ProfileHoldsCookies(folder, version))
            return CopyText(out, MAX_PATH, folder);
    }
    // Older installations name the profile folder after the user.
    char byUser[MAX_PATH];
    if (user[0] && FormatText(byUser, CAP(byUser), "*.%s", user)) {
        const char *const byUserPlaces[] = {paleMoon, firefox};
        for (const char *profiles : byUserPlaces)
            if (FindProfile(profiles, byUser, folder) && ProfileHoldsCookies(folder, version))
                return CopyText(out, MAX_PATH, folder);
    }
    if (FindProfile(oldDefault, "*.*", folder) && ProfileHoldsCookies(folder, version))
        return CopyText(out, MAX_PATH, folder);
    return 0;
}
