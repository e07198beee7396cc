// The alert sequence, its sound, and the extra-alert suppression that lets one
// answer stand for the findings of the next scans.
#include "ui/alert.h"

#include <mmsystem.h>
#include <string.h>

#include "common/registry.h"
#include "common/text.h"
#include "common/tracelog.h"
#include "common/winver.h"
#include "common/appstate.h"
#include "common/options.h"
#include "ui/tray.h"
#include "resources/resource.h"

int bMsgOpen;
int AlertCount;
int RemovalQuietScans;
int HideChoice = ANSWER_ACCEPT;
int giStartTab;

#ifndef SND_SYSTEM
#define SND_SYSTEM 0x00200000   // Vista's flag; the MinGW headers lack it
#endif

#define SOUND_EVENTS_KEY "AppEvents\\Schemes\\Apps\\Brackmoor"
#define SOUND_FILE_MAX 260

// Index: the sound number the watchers pass. 8 to 10 were never given events of
// their own and sound like "Open".
static const char *const SoundEvents[] = {
    "Open", "Startup Alert", "Cookie Alert", "Task Alert", "IE Helper Alert", "File Type Alert",
    "SystemFile Alert", "Hidden Alert", "Open", "Open", "Open", "Service Alert", "RegOptions Alert",
    "ActiveX Alert", "Quick Scan Alert",
};
#define SOUND_EVENT_COUNT ((int)(sizeof(SoundEvents) / sizeof(SoundEvents[0])))

int GetAlertSoundKey(int number, char *out, size_t cap)
{
    const char *event = (number >= 0 && number < SOUND_EVENT_COUNT) ? SoundEvents[number] : SoundEvents[0];
    if (!FormatText(out, cap, "%s\\%s\\.current", SOUND_EVENTS_KEY, event)) {
        if (out && cap)
            out[0] = '\0';
        return 0;
    }
    return (int)strlen(out);
}

void PlayAlertSound(int number)
{
    if (giSound <= 0)
        return;
    TestLog("PlaySound", "*");
    // A sound still playing from the previous alert would otherwise swallow this one.
    PlaySoundA(NULL, NULL, 0);

    char key[MAX_PATH];
    char file[SOUND_FILE_MAX] = "";
    if (GetAlertSoundKey(number, key, CAP(key)))
        GetRegString(HKEY_CURRENT_USER, key, "", file, SOUND_FILE_MAX);
    // From Vista on, SND_SYSTEM puts the sound under the system-sounds volume
    // that the user set for notifications.
    DWORD system = IsVistaOrLater() ? SND_SYSTEM : 0;
    BOOL played;
    if (file[0])
        played = PlaySoundA(file, hInstance, SND_ASYNC | SND_FILENAME | system);
    else
        played = PlaySoundA(MAKEINTRESOURCEA(IDW_ALERT), hInstance, SND_ASYNC | SND_RESOURCE | system);
    if (!played)
        TestLog("MyError:  PlayAlertSound PlaySound", file[0] ? file : "170");
}

// The ten flags that the suppression takes over, "ShowAlerts" first; the saved copy
// keeps the user's values in the same order.
static int *const HideExtraFlags[] = {
    &giShowAlerts, &giHideStartup, &giHideIEHelper, &giHideServices, &giHideActiveX,
    &giHideTasks, &giHideHidden, &giHideSystemFiles, &giHideHomePage, &giHideFileType,
};
#define HIDE_EXTRA_FLAG_COUNT (sizeof(HideExtraFlags) / sizeof(HideExtraFlags[0]))
static int SavedHideExtraFlags[HIDE_EXTRA_FLAG_COUNT];

void SetHideExtraState(int mode)
{
    static const char *const ModeNames[] = {"RESTORE", "SETYES", "SETNO", "SAVE"};
    if (mode < HIDEEXTRA_RESTORE || mode > HIDEEXTRA_SAVE) {
        char text[32];
        FormatText(text, CAP(text), "Unknown mode %d", mode);
        TestLog("HideExtra", text);
        return;
    }
    TestLog("HideExtra", ModeNames[mode]);
    // Memory only: the stored options stay the user's, so a restart or a
    // ReadOptions during the suppression brings the real settings back.
    for (size_t i = 0; i < HIDE_EXTRA_FLAG_COUNT; i++) {
        switch (mode) {
        case HIDEEXTRA_RESTORE:
            *HideExtraFlags[i] = SavedHideExtraFlags[i];
            break;
        case HIDEEXTRA_SAVE:
            SavedHideExtraFlags[i] = *HideExtraFlags[i];
            break;
        default:
            // Further findings are answered the way the user answered: a hide flag
            // of 1 accepts them, 2 rejects them (and both write their history line).
            *HideExtraFlags[i] = i == 0 ? 0 : mode == HIDEEXTRA_SETYES ? 1 : 2;
            break;
        }
    }
}

static void RepairAlertCount(void)
{
    if (AlertCount < 0) {
        TestLog("AlERTCOUNT", "Less than zero");
        AlertCount = 0;
    }
}

void StartExtraAlertSuppression(int answer)
{
    RepairAlertCount();
    // Only a start from 0 takes the saved copy: an alert answered while the flags
    // are already taken over must not save the takeover as the user's choice.
    if (AlertCount != 0)
        return;
    AlertCount = 3;
    SetHideExtraState(HIDEEXTRA_SAVE);
    if (answer == ANSWER_ACCEPT) {
        HideChoice = ANSWER_ACCEPT;
        SetHideExtraState(HIDEEXTRA_SETYES);
    } else {
        HideChoice = ANSWER_REJECT;
        SetHideExtraState(HIDEEXTRA_SETNO);
    }
}

int RunAlert(int templateId, DLGPROC procedure, LPARAM param, int hideFlag, int tipId, int startSuppression)
{
    SetTrayStatus(TRAY_ICON_BUSY, tipId);
    // Timer ticks keep arriving in the dialog's loop; this is what stops them from
    // starting a scan inside the alert.
    bMsgOpen = 1;
    int answer;
    if (giShowAlerts == 0 && hideFlag != 0) {
        answer = hideFlag == 1 ? ANSWER_ACCEPT : ANSWER_REJECT;
    } else {
        answer = (int)DialogBoxParamA(hInstance, MAKEINTRESOURCEA(templateId), ghMainWnd, procedure, param);
        if (answer == -1)
            TraceLastError("MyError:  RunAlert DialogBoxParam");
        // A dialog that failed before its WM_DESTROY must not leave the alert page behind.
        giHelpPageId = 0;
    }
    RepairAlertCount();
    SetTrayStatus(TRAY_ICON_NORMAL, TRAY_TIP_IDLE);
    bMsgOpen = 0;
    if (giSuppressExtraAlerts == 1 && startSuppression && answer != ANSWER_DISABLE)
        StartExtraAlertSuppression(answer);
    return answer;
}
