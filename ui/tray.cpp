#include "ui/tray.h"

#include <shellapi.h>
#include <string.h>

#include "common/files.h"
#include "common/registry.h"
#include "common/text.h"
#include "common/tracelog.h"
#include "common/appstate.h"
#include "common/options.h"

int bIconShown;
int giHelpPageId;
int (*UserBusyStateOverride)(void);

// Where the help pages live when they are not installed beside the program.
// Deployments point "HelpSite" (under the program's key) at their own server.
#define DEFAULT_HELP_SITE "https://help.dunmere.example/brackmoor/"

int TrayIconOption(void)
{
    int id = ReadOptionInt("TrayIcon", TRAY_ICON_NORMAL);
    // A number that names no icon of the program (or no number at all) would
    // leave the tray with an empty square.
    if (id <= 0 || id > 0xFFFF || !LoadIconA(hInstance, MAKEINTRESOURCEA(id)))
        return TRAY_ICON_NORMAL;
    return id;
}

// What the icon shows now (icon 0: nothing known). A status that is already shown
// is not sent again, and an icon that stays is not sent with a new tip: each send
// of an icon makes the shell take its bitmaps anew, and a pass changes the status
// several times.
static int shownIcon;
static char shownTip[sizeof(((NOTIFYICONDATAA *)0)->szTip)];

int TrayIconUpdate(int iconId, int tipId, int operation)
{
    if (operation == TRAY_ADD && giHideTobble)
        return 0;
    if (operation != TRAY_ADD && !bIconShown)
        return 0;
    NOTIFYICONDATAA nid;
    memset(&nid, 0, sizeof(nid));
    nid.cbSize = sizeof(nid);
    nid.hWnd = ghMainWnd;
    nid.uID = TRAY_ICON_UID;
    nid.uCallbackMessage = WM_TRAY_CALLBACK;
    nid.dwInfoFlags = NIIF_INFO;
    nid.uVersion = 4;   // NIM_SETVERSION is never sent: callbacks keep the old form
    DWORD message = NIM_DELETE;
    if (operation == TRAY_ADD || operation == TRAY_MODIFY) {
        message = operation == TRAY_ADD ? NIM_ADD : NIM_MODIFY;
        nid.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
        if (operation == TRAY_ADD) {
            TestLog("Shell_NotifyIcon", "NIM_ADD");
            // The user's choice of tray icon wins over what the caller asked for.
            iconId = TrayIconOption();
        }
        GetLangString((UINT)tipId, (int)sizeof(nid.szTip), nid.szTip);
        if (operation == TRAY_MODIFY && iconId && iconId == shownIcon) {
            if (strcmp(nid.szTip, shownTip) == 0)
                return 1;
            nid.uFlags &= ~NIF_ICON;
        } else if (iconId) {
            nid.hIcon = LoadIconA(hInstance, MAKEINTRESOURCEA(iconId));
        }
    }
    BOOL ok = Shell_NotifyIconA(message, &nid);
    if (!ok)
        TestLog("Shell_NotifyIcon", "Failure when calling this function");
    shownIcon = 0;
    if (ok && message != NIM_DELETE) {
        shownIcon = iconId;
        CopyText(shownTip, CAP(shownTip), nid.szTip);
    }
    return ok;
}

typedef int (*ShQueryStateProc)(int *);

int GetUserBusyState(void)
{
    if (UserBusyStateOverride)
        return UserBusyStateOverride();
    int state = 5;   // QUNS_ACCEPTS_NOTIFICATIONS where Windows cannot tell
    HMODULE shell = LoadLibraryA("Shell32.dll");
    if (!shell)
        return state;
    ShQueryStateProc query = (ShQueryStateProc)(void *)GetProcAddress(shell, "SHQueryUserNotificationState");
    if (query && query(&state) != 0)
        state = 5;
    FreeLibrary(shell);
    return state;
}

void SetTrayStatus(int iconId, int tipId)
{
    if (giHideTobble || !bIconShown)
        return;
    TrayIconUpdate(iconId, tipId, TRAY_MODIFY);
}

static const struct { int id; const char *page; } HelpPages[] = {
    {6026, "startup.html"}, {6028, "cookies.html"}, {6029, "tasks.html"}, {6032, "options.html"},
    {6034, "reset.html"}, {6038, "services.html"}, {6039, "scheduler.html"}, {6040, "bho.html"},
    {6042, "filetype.html"}, {6051, "helpme.html"}, {6052, "hidden.html"}, {6055, "delay.html"},
    {6056, "activex.html"}, {6060, "recent.html"}, {6061, "reglock.html"}, {6062, "defaultpage.html#start"},
    {6063, "defaultpage.html#search"}, {6064, "defaultpage.html#desktop"}, {6066, "abort.html"},
    {6067, "alert.html"},
};

int HelpPageName(int id, char *out, size_t cap)
{
    const char *page = "features.html";
    for (const auto &row : HelpPages)
        if (row.id == id)
            page = row.page;
    char language[8];
    GetLangString(634, CAP(language), language);
    CopyText(out, cap, "");
    // Translated help pages carry the language code in front of the name.
    if (language[0] && strcmp(language, "us") != 0)
        FormatText(out, cap, "%s_", language);
    AppendText(out, cap, page);
    return (int)strlen(out);
}

int HelpPageTarget(int id, char *out, size_t cap)
{
    char name[64], folder[MAX_PATH], local[MAX_PATH];
    HelpPageName(id, name, CAP(name));
    GetMyProgramFolder(folder);
    // A page with an anchor is looked up by its file name.
    char file[64];
    CopyText(file, CAP(file), name);
    char *anchor = strchr(file, '#');
    if (anchor)
        *anchor = '\0';
    FormatText(local, CAP(local), "%s\\%s", folder, file);
    if (GetFileAttributesA(local) != INVALID_FILE_ATTRIBUTES) {
        FormatText(out, cap, "%s\\%s", folder, name);
    } else {
        char site[MAX_PATH];
        if (GetRegString(HKEY_CURRENT_USER, BRACKMOOR_KEY, "HelpSite", site, CAP(site)) <= 0)
            CopyText(site, CAP(site), DEFAULT_HELP_SITE);
        FormatText(out, cap, "%s%s", site, name);
    }
    return (int)strlen(out);
}

void OpenHelpPage(int id)
{
    char target[MAX_PATH + 64];
    HelpPageTarget(id, target, CAP(target));
    TestLog("OpenHelpPage", target);
    INT_PTR result = (INT_PTR)ShellExecuteA(ghMainWnd, "open", target, "", "", SW_SHOWNORMAL);
    if (result <= 32)
        TraceShellExecuteError(0, (int)result, "MyError:  OpenHelpPage ShellExecute");
}
