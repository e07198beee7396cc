// Options: REG_SZ decimal numbers under HKCU "Software\Dunmere Works\Brackmoor\Options".
// Each option lives in one process-wide variable; ReadOptions fills them all.
#pragma once
#include <windows.h>

#define BRACKMOOR_KEY "Software\\Dunmere Works\\Brackmoor"
#define OPTIONS_KEY "Software\\Dunmere Works\\Brackmoor\\Options"
#define DUNMERE_KEY "Software\\Dunmere Works"
#define BRACKMOOR_VERSION "33.1.2015.0"

extern int giSendHistory, giToolTips, giHideTobble, giHideBrackmoor, giNewVersionAvailable,
    giNewVersionIgnore, giSuppressExtraAlerts, giHideStartup, giHideIEHelper, giHideServices,
    giHideActiveX, giHideTasks, giHideFileType, giHideHidden, giHideSystemFiles, giHideHomePage,
    giHideRegOptions, giExpandInfo, giNetspeed, giHideUninstall, giFormat, giConfirmExit, giSound,
    giHistory, giHideMicrosoftServices, giShowAllFiles, giHideMicrosoftActiveX, giIncludeKillBit,
    giActiveXListAll, giLockFileTypes, giShowAllStartup, giNoMicrosoftStartup, giShowAlerts,
    giHideRunOnce, giKeelFormat, giCloudData;
// Intervals in scans, each with the countdown the scan cycle runs down.
extern int giStart, giCookies, giNuts, giTasks, giIEHelpers, giFileType, giStartPage, giHostFile,
    giServices, giHidden, giActiveX, giRegOptions, giWinInit;
extern int giStartCount, giCookiesCount, giNutsCount, giTasksCount, giIEHelpersCount,
    giFileTypeCount, giStartPageCount, giHostFileCount, giServicesCount, giHiddenCount,
    giActiveXCount, giRegOptionsCount, giWinInitCount;
extern int giRealtimeStartup, giRealtimeIEHelper, giRealtimeSysFiles, giRealtimeFileType,
    giRealtimeStartPage, giRealtimeHidden, giRealtimeActiveX, giRealtimeServices,
    giRealtimeRegOptions, giRealtimeUninstall, giRealtimeMissingRun, giViewCookies,
    giExplorerMenu, giWindowSettings;

// The language of message boxes and of the translations ("LString%d").
extern WORD UILanguage;

// The options in the order they are read, with their defaults and variables.
typedef struct OptionRow {
    const char *name;
    int defaultValue;
    int *value;
    int *countdown;     // intervals only: reset to the interval on every read
} OptionRow;
extern const OptionRow OptionTable[];
extern const int OptionTableCount;

int ReadOptionInt(const char *name, int defaultValue);
void WriteOptionInt(const char *name, int value);
void ReadOptions(void);
// The change signal of the companion: "Update" non-zero means the options changed.
int OptionsChanged(void);
void ClearOptionsChanged(void);

#define LANG_TEXT_MAX 771       // the largest limit GetLangString honours
int GetLangString(UINT id, int limit, char *buffer);
WORD ChooseUILanguage(const char *code);
