// The Windows Update watcher: the automatic-update mode ("AUOptions" of the machine)
// against the mode the user last approved.
#include <string.h>

#include "common/appstate.h"
#include "common/history.h"
#include "common/options.h"
#include "common/reg_script.h"
#include "common/registry.h"
#include "common/text.h"
#include "common/tracelog.h"
#include "common/winver.h"
#include "resources/resource.h"
#include "ui/alert.h"
#include "ui/companion.h"
#include "ui/tray.h"
#include "watchers/pages.h"

#define AU_VALUE "AUOptions"
#define STRING_AU_TITLE 1050        // also the text of a mode without one of its own
#define STRING_AU_MESSAGE 1055

static DWORD SystemMode(void)
{
    DWORD mode = 0;
    GetRegDWORD(HKEY_LOCAL_MACHINE, AUTO_UPDATE_KEY, AU_VALUE, &mode);
    return mode;
}

static DWORD ApprovedMode(void)
{
    DWORD mode = 0;
    GetRegDWORD(HKEY_CURRENT_USER, BRACKMOOR_KEY, AU_VALUE, &mode);
    return mode;
}

// Modes 1 to 4 are the ones a user picks; 0 (none) and the policy-only 5 are not
// approved values and give way to what the system has.
static int IsApprovedMode(DWORD mode)
{
    return mode >= 1 && mode <= 4;
}

void CopyAutoUpdateSetting(int always)
{
    if (!always && IsApprovedMode(ApprovedMode()))
        return;
    DWORD current = SystemMode();
    if (current != 0)
        SetRegDWORDValue(HKEY_CURRENT_USER, BRACKMOOR_KEY, AU_VALUE, current);
}

static void ModeText(DWORD mode, char *out, size_t cap)
{
    GetLangString(IsApprovedMode(mode) ? STRING_AU_TITLE + mode : STRING_AU_TITLE, (int)cap, out);
}

static int AskAboutMode(DWORD approved, DWORD current)
{
    SettingAlert alert;
    char format[LANG_TEXT_MAX], before[LANG_TEXT_MAX], after[LANG_TEXT_MAX], name[LANG_TEXT_MAX];
    GetLangString(STRING_AU_MESSAGE, CAP(format), format);
    ModeText(approved, before, CAP(before));
    ModeText(current, after, CAP(after));
    const char *args[] = {before, after};
    SubstituteText(alert.message, CAP(alert.message), format, args, 2);
    GetLangString(STRING_AU_TITLE, CAP(name), name);
    FormatText(alert.title, CAP(alert.title), "%s - %s", gszTitle, name);
    alert.helpPage = 0;
    // With alerts off the answer is given without a dialog: "HideSystemFiles" 1
    // accepts, anything else rejects.
    return RunAlert(IDD_SETTINGALERT, SettingAlertDlgProc, (LPARAM)&alert, giHideSystemFiles == 1 ? 1 : 2,
                    TRAY_TIP_IDLE, 1);
}

// Before Vista the monitor writes the approved mode back itself (through a
// registry script where this user may not write the machine's key); from Vista on
// the companion changes the setting with the rights that takes.
static void PutModeBack(DWORD approved)
{
    char text[16];
    FormatText(text, CAP(text), "%lu", (unsigned long)approved);
    if (IsVistaOrLater()) {
        TestLog("VerifyAutomaticUpdates", "-AUOption");
        LaunchBrackmoorExplorer("-AUOption");
        return;
    }
    if (SetRegDWORDValue(HKEY_LOCAL_MACHINE, AUTO_UPDATE_KEY, AU_VALUE, approved) ||
        CreateRegCommand("HKEY_LOCAL_MACHINE", AUTO_UPDATE_KEY, AU_VALUE, text, REGCMD_DWORD)) {
        WriteLog(LOG_SETTING_RESTORE, CODE_AUTOUPDATE, AU_VALUE, AUTO_UPDATE_KEY, text);
    } else {
        TestLog("MyError:  VerifyAutomaticUpdates write back", text);
    }
}

int VerifyAutomaticUpdates(ScanPass *pass)
{
    (void)pass;
    char text[64];
    int state = GetUserBusyState();
    if (state < 5) {
        FormatText(text, CAP(text), "User Busy Mode = %d", state);
        TestLog("VerifyAutomaticUpdates  Wait to notify user", text);
        return 0;
    }
    // The machine's own setting, not a 32-bit copy of it.
    RegAccessModes saved = UseRegistryView(Is64BitWindows ? KEY_WOW64_64KEY : 0);
    FormatText(text, CAP(text), "User Activity: %d", state);
    TestLog("VerifyAutomaticUpdates", text);
    int changed = 0;
    DWORD approved = ApprovedMode(), current = SystemMode();
    if (!IsApprovedMode(approved)) {
        CopyAutoUpdateSetting(0);
    } else if (current != approved) {
        changed = 1;
        int answer = AskAboutMode(approved, current);
        if (answer == ANSWER_REJECT) {
            // The approved copy keeps the mode the user chose, so once the system
            // has it again the two agree; a put-back that failed is asked again.
            PutModeBack(approved);
        } else {
            // Accepted (or closed without an answer): the system's mode is the approved one.
            DWORD now = answer == ANSWER_ACCEPT ? SystemMode() : current;
            SetRegDWORDValue(HKEY_CURRENT_USER, BRACKMOOR_KEY, AU_VALUE, now);
            FormatText(text, CAP(text), "%lu", (unsigned long)now);
            WriteLog(LOG_SETTING_ACCEPT, CODE_AUTOUPDATE, AU_VALUE, AUTO_UPDATE_KEY, text);
        }
    }
    PutRegistryAccessBack(saved);
    return changed;
}
