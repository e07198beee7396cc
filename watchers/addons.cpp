// What the browser add-on and ActiveX watchers share: their baselines' rule of a
// known item, and of their alerts the program block with its legal notice, the
// caption, the answer buttons and the history line.
#include <string.h>

#include "common/appstate.h"
#include "ui/shared_ui.h"
#include "common/file_facts.h"
#include "common/history.h"
#include "common/options.h"
#include "common/registry.h"
#include "common/text.h"
#include "common/tracelog.h"
#include "resources/resource.h"
#include "ui/alert.h"
#include "watchers/ie_helpers.h"

#define BASELINE_TEXT_MAX 17        // a baseline value longer than 16 characters is unknown
#define CODE_TEXT_MAX 16

enum { STRING_INFO = 641, STRING_ACCEPT = 1008,
       STRING_REJECT = 1009 };

AddonAlert *InitAddonAlert(HWND dialog, LPARAM param, UINT captionPart, UINT messageId, size_t longPath)
{
    static AddonAlert NoEntry;
    AddonAlert *entry = (AddonAlert *)KeepAlertData(dialog, param, &NoEntry, sizeof(NoEntry));
    BeginAlertDialog(dialog, ALERT_HELP_PAGE);
    VersionRecord *version = ReadVersionRecord(entry->path);

    HWND pathControl = GetDlgItem(dialog, IDC_PATH);
    if (pathControl)
        SendMessageA(pathControl, WM_SETFONT,
                     (WPARAM)(strlen(entry->path) > longPath ? ghFont12Semibold : ghFont14Semibold), FALSE);
    SetDlgItemTextA(dialog, IDC_PATH, entry->path);
    SetAlertSignatureLine(dialog, IDC_SIGNATURE, entry->path);
    SetAlertCaption(dialog, captionPart);
    SetAlertProgramBlock(dialog, entry->name, version);
    SetAlertLegalNotice(dialog, version);
    SetAlertText(dialog, IDC_MESSAGE, messageId);
    SetAlertText(dialog, IDC_INFO, STRING_INFO);
    SetAlertText(dialog, IDYES, STRING_ACCEPT);
    SetAlertText(dialog, IDNO, STRING_REJECT);
    FreeVersionRecord(version);
    WriteAddonAlertLine(entry);
    entry->shown = 1;
    return entry;
}

int IsKnownAddon(const char *baselineKey, const char *name)
{
    char text[BASELINE_TEXT_MAX];
    return GetRegString(HKEY_CURRENT_USER, baselineKey, name, text, CAP(text)) > 0 && TextToInt(text) != 0;
}

void WriteAddonBaseline(const char *baselineKey, const char *name, int code)
{
    char text[CODE_TEXT_MAX];
    FormatText(text, CAP(text), "%d", code);
    if (!SetRegString(HKEY_CURRENT_USER, baselineKey, name, text))
        TraceLastError("MyError:  WriteAddonBaseline SetRegString");
}

void WriteAddonAlertLine(const AddonAlert *entry)
{
    if (entry->code == CODE_ACTIVEX) {
        WriteLog(LOG_ALERT_ACTIVEX, CODE_ACTIVEX, entry->name, entry->path, "");
        return;
    }
    // Helpers are told by their program's product name (by their own name when the
    // program has none), whatever their kind.
    VersionRecord *version = (VersionRecord *)HeapAlloc(GetProcessHeap(), 0, sizeof(VersionRecord));
    if (version)
        GetVersionInfoCached(entry->path, version);
    const char *product = version && version->ProductName[0] ? version->ProductName : entry->name;
    WriteLog(LOG_IEHELPER_ALERT, CODE_BHO, product, entry->path, version ? version->FileDescription : "");
    if (version)
        HeapFree(GetProcessHeap(), 0, version);
}
