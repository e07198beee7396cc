#include "common/options.h"

#include <string.h>

#include "common/registry.h"
#include "common/text.h"
#include "common/tracelog.h"
#include "common/runlist.h"

int giSendHistory, giToolTips, giHideTobble, giHideBrackmoor, giNewVersionAvailable,
    giNewVersionIgnore, giSuppressExtraAlerts, giHideStartup, giHideIEHelper, giHideServices,
    giHideActiveX, giHideTasks, giHideFileType, giHideHidden, giHideSystemFiles, giHideHomePage,
    giHideRegOptions, giExpandInfo, giNetspeed, giHideUninstall, giFormat, giConfirmExit, giSound,
    giHistory = 1, giHideMicrosoftServices, giShowAllFiles, giHideMicrosoftActiveX,
    giIncludeKillBit, giActiveXListAll, giLockFileTypes, giShowAllStartup, giNoMicrosoftStartup,
    giShowAlerts = 1, giHideRunOnce, giKeelFormat, giCloudData;
int giStart, giCookies, giNuts, giTasks, giIEHelpers, giFileType, giStartPage, giHostFile,
    giServices, giHidden, giActiveX, giRegOptions, giWinInit;
int giStartCount, giCookiesCount, giNutsCount, giTasksCount, giIEHelpersCount, giFileTypeCount,
    giStartPageCount, giHostFileCount, giServicesCount, giHiddenCount, giActiveXCount,
    giRegOptionsCount, giWinInitCount;
int giRealtimeStartup, giRealtimeIEHelper, giRealtimeSysFiles, giRealtimeFileType,
    giRealtimeStartPage, giRealtimeHidden, giRealtimeActiveX, giRealtimeServices,
    giRealtimeRegOptions, giRealtimeUninstall, giRealtimeMissingRun, giViewCookies,
    giExplorerMenu, giWindowSettings;

WORD UILanguage;

#define OPTION_TEXT_MAX 128

// Read in this order; the companion lists them in the same order.
const OptionRow OptionTable[] = {
    {"SendHistory", 0, &giSendHistory, NULL},
    {"ToolTips", 1, &giToolTips, NULL},
    {"HideTobble", 0, &giHideTobble, NULL},
    {"HideBrackmoor", 0, &giHideBrackmoor, NULL},
    {"NewVersionAvailable", 0, &giNewVersionAvailable, NULL},
    {"NewVersionIgnore", 0, &giNewVersionIgnore, NULL},
    {"SuppressExtraAlerts", 1, &giSuppressExtraAlerts, NULL},
    {"HideStartup", 0, &giHideStartup, NULL},
    {"HideIEHelper", 0, &giHideIEHelper, NULL},
    {"HideServices", 0, &giHideServices, NULL},
    {"HideActiveX", 0, &giHideActiveX, NULL},
    {"HideTasks", 0, &giHideTasks, NULL},
    {"HideFileType", 0, &giHideFileType, NULL},
    {"HideHidden", 0, &giHideHidden, NULL},
    {"HideSystemFiles", 0, &giHideSystemFiles, NULL},
    {"HideHomePage", 0, &giHideHomePage, NULL},
    {"HideRegOptions", 0, &giHideRegOptions, NULL},
    {"ExpandInfo", 0, &giExpandInfo, NULL},
    {"Netspeed", 0, &giNetspeed, NULL},
    {"HideUninstall", 0, &giHideUninstall, NULL},
    {"Format", 0, &giFormat, NULL},
    {"ConfirmExit", 0, &giConfirmExit, NULL},
    {"Sound", 1, &giSound, NULL},
    {"History", 1, &giHistory, NULL},
    {"HideMicrosoftServices", 1, &giHideMicrosoftServices, NULL},
    {"ShowAllFiles", 0, &giShowAllFiles, NULL},
    {"HideMicrosoftActiveX", 0, &giHideMicrosoftActiveX, NULL},
    {"IncludeKillBit", 0, &giIncludeKillBit, NULL},
    {"ActiveXListAll", 0, &giActiveXListAll, NULL},
    {"LockFileTypes", 0, &giLockFileTypes, NULL},
    {"ShowAllStartup", 0, &giShowAllStartup, NULL},
    {"NoMicrosoftStartup", 0, &giNoMicrosoftStartup, NULL},
    {"ShowAlerts", 1, &giShowAlerts, NULL},
    {"HideRunOnce", 0, &giHideRunOnce, NULL},
    {"KeelFormat", 0, &giKeelFormat, NULL},
    {"CloudData", 1, &giCloudData, NULL},
    {"MaxCookie", 8092, &giMaxCookie, NULL},
    {"Start", 2, &giStart, &giStartCount},
    {"Cookies", 0, &giCookies, &giCookiesCount},
    {"Nuts", 0, &giNuts, &giNutsCount},
    {"Tasks", 11, &giTasks, &giTasksCount},
    {"IEHelpers", 2, &giIEHelpers, &giIEHelpersCount},
    {"FileType", 10, &giFileType, &giFileTypeCount},
    {"StartPage", 2, &giStartPage, &giStartPageCount},
    {"HostFile", 3, &giHostFile, &giHostFileCount},
    {"Services", 7, &giServices, &giServicesCount},
    {"Hidden", 0, &giHidden, &giHiddenCount},
    {"ActiveX", 4, &giActiveX, &giActiveXCount},
    {"RegOptions", 5, &giRegOptions, &giRegOptionsCount},
    {"WinInit", 5, &giWinInit, &giWinInitCount},
    {"RealtimeStartup", 1, &giRealtimeStartup, NULL},
    {"RealtimeIEHelper", 1, &giRealtimeIEHelper, NULL},
    {"RealtimeSysFiles", 1, &giRealtimeSysFiles, NULL},
    {"RealtimeFileType", 0, &giRealtimeFileType, NULL},
    {"RealtimeStartPage", 1, &giRealtimeStartPage, NULL},
    {"RealtimeHidden", 0, &giRealtimeHidden, NULL},
    {"RealtimeActiveX", 1, &giRealtimeActiveX, NULL},
    {"RealtimeServices", 1, &giRealtimeServices, NULL},
    {"RealtimeRegOptions", 1, &giRealtimeRegOptions, NULL},
    {"RealtimeUninstall", 1, &giRealtimeUninstall, NULL},
    {"RealtimeMissingRun", 1, &giRealtimeMissingRun, NULL},
    {"ViewCookies", 0, &giViewCookies, NULL},
    {"ExplorerMenu", 0, &giExplorerMenu, NULL},
    {"WindowSettings", 1, &giWindowSettings, NULL},
    // Loading the trace-log counter restarts its count.
    {"TestLog", TESTLOG_OFF, &TestLogCounter, NULL},
};
const int OptionTableCount = (int)(sizeof(OptionTable) / sizeof(OptionTable[0]));

int ReadOptionInt(const char *name, int defaultValue)
{
    char text[OPTION_TEXT_MAX];
    if (GetRegString(HKEY_CURRENT_USER, OPTIONS_KEY, name, text, CAP(text)) <= 0)
        return defaultValue;
    // A text without digits reads as 0, not as the default.
    return TextToInt(text);
}

void WriteOptionInt(const char *name, int value)
{
    char text[16];
    FormatText(text, CAP(text), "%d", value);
    SetRegString(HKEY_CURRENT_USER, OPTIONS_KEY, name, text);
    SetRegString(HKEY_CURRENT_USER, OPTIONS_KEY, "Update", "1");
}

int OptionsChanged(void)
{
    return ReadOptionInt("Update", 0) != 0;
}

void ClearOptionsChanged(void)
{
    SetRegString(HKEY_CURRENT_USER, OPTIONS_KEY, "Update", "0");
}

void ReadOptions(void)
{
    RegReadAccess = KEY_READ;
    RegWriteAccess = KEY_ALL_ACCESS;
    for (const OptionRow &row : OptionTable) {
        *row.value = ReadOptionInt(row.name, row.defaultValue);
        if (!row.countdown)
            continue;
        // The restart-commands countdown may hold 9999 ("no further check this run")
        // and is never shortened by a re-read.
        if (row.countdown == &giWinInitCount) {
            if (*row.value > *row.countdown)
                *row.countdown = *row.value;
        } else {
            *row.countdown = *row.value;
        }
    }
}

// Codes tested after "us" fails; the last one contained wins.
static const struct { const char *code; WORD lang; } LanguageCodes[] = {
    {"de", 7}, {"fr", 12}, {"es", 10}, {"it", 16}, {"se", 29}, {"\xEA\xE0\xEA", 1},
    {"ru", 25}, {"pt", 22}, {"pl", 21}, {"no", 20}, {"gr", 8}, {"nl", 19}, {"no", 20},
    {"br", 22}, {"sq", 28}, {"tr", 31}, {"ar", 1}, {"fi", 11}, {"cn", 4},
};

WORD ChooseUILanguage(const char *code)
{
    if (StrContains(code, "us"))
        return 9;
    WORD lang = 0;
    for (const auto &row : LanguageCodes)
        if (StrContains(code, row.code))
            lang = row.lang;
    return lang;
}

extern HINSTANCE hInstance;

int GetLangString(UINT id, int limit, char *buffer)
{
    if (limit > LANG_TEXT_MAX)
        limit = LANG_TEXT_MAX;
    if (limit < 0)
        limit = 0;
    if (UILanguage != 9) {
        char name[32], text[CONTAINS_LIMIT + 1];
        FormatText(name, CAP(name), "LString%u", id);
        REGSAM saved = RegReadAccess;
        if (Is64BitWindows)
            RegReadAccess |= KEY_WOW64_64KEY;
        int len = GetRegString(HKEY_CURRENT_USER, BRACKMOOR_KEY, name, text, CAP(text));
        RegReadAccess = saved;
        if (len > 0) {
            // "%n" in a translation is a line break.
            char *out = text;
            for (const char *in = text; *in; in++) {
                if (in[0] == '%' && in[1] == 'n') {
                    *out++ = '\n';
                    in++;
                } else {
                    *out++ = *in;
                }
            }
            *out = '\0';
            if (limit == 0)
                return 0;
            CopyText(buffer, (size_t)limit, text);
            return (int)strlen(buffer);
        }
    }
    if (limit == 0)
        return 0;
    buffer[0] = '\0';
    int n = LoadStringA(hInstance, id, buffer, limit);
    if (n <= 0)
        buffer[0] = '\0';
    return n > 0 ? n : 0;
}
