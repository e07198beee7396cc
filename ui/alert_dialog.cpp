// What every alert does at WM_INITDIALOG and WM_DESTROY besides its own texts:
// help page, fonts of the path and heading, the program's icon, tooltips, and
// giving all of it back when the dialog goes.
#include "ui/alert.h"

#include <commctrl.h>
#include <shellapi.h>
#include <string.h>

#include "common/files.h"
#include "common/registry.h"
#include "common/signature.h"
#include "common/text.h"
#include "common/tracelog.h"
#include "common/appstate.h"
#include "common/options.h"
#include "ui/shared_ui.h"
#include "ui/tray.h"
#include "resource.h"

int giRepeatAlertCount;
char gszLastAlertPath[MAX_PATH];

void CountAlertRepeat(const char *path)
{
    if (StrEqualNoCase(path, gszLastAlertPath) == 0)
        giRepeatAlertCount++;
    CopyText(gszLastAlertPath, CAP(gszLastAlertPath), path);
}

#define TOOLTIP_TEXT_MAX 512
#define TOOLTIP_BACK_COLOUR 0xCCFFFF
#define TOOLTIP_TEXT_COLOUR 0x990000
#define TOOLTIP_AUTOPOP_MS 20000
#define TOOLTIP_MAX_WIDTH 360
#define TOOLTIP_MARGIN 15
#define LONG_PATH_CHARS 80
#define STRING_ALERT_CAPTION 718   // "Brackmoor ALERT: New or Changed Program"
#define STRING_LEGAL_VERSION_LABEL 644

// The icons ExtractIconA made for the dialog, one slot per icon button (the file
// type alert shows two programs); the buttons do not own their images.
#define PROGRAM_ICON_SLOTS 2
#define ICON_PROPERTY_MAX 40

static void SlotProperties(int slot, char *icon, char *button)
{
    FormatText(icon, ICON_PROPERTY_MAX, "BrackmoorProgramIcon%d", slot);
    FormatText(button, ICON_PROPERTY_MAX, "BrackmoorProgramIconButton%d", slot);
}

AlertHelpOpenerProc AlertHelpOpener = OpenHelpPage;

void BeginAlertDialog(HWND dialog, int helpPageId)
{
    if (helpPageId)
        giHelpPageId = helpPageId;
    ClearHotTextButton(dialog);
}

void AddToolTip(HWND dialog, int controlId, UINT stringId)
{
    if (giToolTips <= 0 || !dialog || !IsWindow(dialog))
        return;
    HWND control = GetDlgItem(dialog, controlId);
    if (!control)
        return;
    DWORD style = WS_POPUP | TTS_ALWAYSTIP;
    if (giToolTips == 2)
        style |= TTS_BALLOON;
    // Owned by the dialog: it goes when the dialog goes, so nothing is left to free.
    HWND tip = CreateWindowExA(0, TOOLTIPS_CLASSA, NULL, style, CW_USEDEFAULT, CW_USEDEFAULT,
                               CW_USEDEFAULT, CW_USEDEFAULT, dialog, NULL, hInstance, NULL);
    if (!tip) {
        TraceLastError("MyError:  AddToolTip CreateWindowEx");
        return;
    }
    char text[TOOLTIP_TEXT_MAX] = "";
    GetLangString(stringId, TOOLTIP_TEXT_MAX, text);

    TOOLINFOA tool;
    memset(&tool, 0, sizeof(tool));
    // The size that common controls 5 knows too: without a manifest asking for
    // version 6, the full structure of the newer headers is refused.
    tool.cbSize = TTTOOLINFOA_V2_SIZE;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = dialog;
    tool.uId = (UINT_PTR)control;
    tool.hinst = hInstance;
    tool.lpszText = text;
    if (!SendMessageA(tip, TTM_ADDTOOLA, 0, (LPARAM)&tool))
        TestLog("MyError:  AddToolTip TTM_ADDTOOL", text);
    SendMessageA(tip, TTM_SETTIPBKCOLOR, TOOLTIP_BACK_COLOUR, 0);
    SendMessageA(tip, TTM_SETTIPTEXTCOLOR, TOOLTIP_TEXT_COLOUR, 0);
    // Long enough to read the longer explanations to the end.
    SendMessageA(tip, TTM_SETDELAYTIME, TTDT_AUTOPOP, MAKELPARAM(TOOLTIP_AUTOPOP_MS, 0));
    SendMessageA(tip, TTM_SETMAXTIPWIDTH, 0, TOOLTIP_MAX_WIDTH);
    RECT margin = {TOOLTIP_MARGIN, TOOLTIP_MARGIN, TOOLTIP_MARGIN, TOOLTIP_MARGIN};
    SendMessageA(tip, TTM_SETMARGIN, 0, (LPARAM)&margin);
}

static void SetControlTextAndFont(HWND dialog, int id, const char *text, HFONT font)
{
    HWND control = GetDlgItem(dialog, id);
    if (!control)
        return;
    // Before the text, so the control lays the text out once, in its final font.
    if (font)
        SendMessageA(control, WM_SETFONT, (WPARAM)font, FALSE);
    SetWindowTextA(control, text ? text : "");
}

// Each path control of the alerts and the line under it that tells its program's signature.
static const struct {
    int path, signature;
} SignatureLines[] = {
    {IDC_PATH, IDC_SIGNATURE}, {IDC_FT_OLDPATH, IDC_FT_OLDSIGNATURE}, {IDC_FT_NEWPATH, IDC_FT_NEWSIGNATURE},
};

int AlertSignatureControl(int pathId)
{
    for (const auto &line : SignatureLines)
        if (line.path == pathId)
            return line.signature;
    return 0;
}

void SetAlertPathControl(HWND dialog, int id, const char *path)
{
    // The smaller face keeps most of a deep path visible in the one-line field.
    size_t len = path ? strlen(path) : 0;
    SetControlTextAndFont(dialog, id, path, len > LONG_PATH_CHARS ? ghFont12Semibold : ghFont14Semibold);
    SetAlertSignatureLine(dialog, AlertSignatureControl(id), path);
}

void SetAlertSignatureLine(HWND dialog, int lineId, const char *commandLine)
{
    if (!lineId || !GetDlgItem(dialog, lineId))
        return;
    FileFact fact;
    char line[LANG_TEXT_MAX];
    CheckProgramSignature(commandLine ? commandLine : "", &fact);
    FormatSignatureLine(&fact, line, CAP(line));
    SetDlgItemTextA(dialog, lineId, line);
}

void SetAlertHeadingControl(HWND dialog, int id, const char *text)
{
    SetControlTextAndFont(dialog, id, text, ALERT_HEADING_FONT);
}

static void DropProgramIcon(HWND dialog, int slot)
{
    char iconProperty[ICON_PROPERTY_MAX], buttonProperty[ICON_PROPERTY_MAX];
    SlotProperties(slot, iconProperty, buttonProperty);
    HICON icon = (HICON)RemovePropA(dialog, iconProperty);
    int buttonId = (int)(INT_PTR)RemovePropA(dialog, buttonProperty);
    if (!icon)
        return;
    // Off the button first, so nothing paints a destroyed icon.
    if (buttonId)
        SendDlgItemMessageA(dialog, buttonId, BM_SETIMAGE, IMAGE_ICON, 0);
    DestroyIcon(icon);
}

// The slot of the button's icon, else a free one; -1 when all are taken.
static int IconSlotOf(HWND dialog, int buttonId)
{
    int free = -1;
    for (int slot = 0; slot < PROGRAM_ICON_SLOTS; slot++) {
        char iconProperty[ICON_PROPERTY_MAX], buttonProperty[ICON_PROPERTY_MAX];
        SlotProperties(slot, iconProperty, buttonProperty);
        if ((int)(INT_PTR)GetPropA(dialog, buttonProperty) == buttonId && GetPropA(dialog, iconProperty))
            return slot;
        if (free < 0 && !GetPropA(dialog, iconProperty))
            free = slot;
    }
    return free;
}

void SetAlertProgramIcon(HWND dialog, int buttonId, const char *path)
{
    if (!dialog || !path || !path[0])
        return;
    char file[MAX_PATH];
    // FileExists may complete a bare program name to where the file really is.
    if (!CopyText(file, CAP(file), path) || !FileExists(file))
        return;
    int slot = IconSlotOf(dialog, buttonId);
    if (slot < 0)
        return;
    HICON icon = ExtractIconA(hInstance, file, 0);
    // 1 means "not a file with icons"; it is no handle to show or destroy.
    if (!icon || icon == (HICON)1)
        return;
    DropProgramIcon(dialog, slot);
    char iconProperty[ICON_PROPERTY_MAX], buttonProperty[ICON_PROPERTY_MAX];
    SlotProperties(slot, iconProperty, buttonProperty);
    SendDlgItemMessageA(dialog, buttonId, BM_SETIMAGE, IMAGE_ICON, (LPARAM)icon);
    SetPropA(dialog, iconProperty, (HANDLE)icon);
    SetPropA(dialog, buttonProperty, (HANDLE)(INT_PTR)buttonId);
}

void SetAlertNotTopmost(HWND dialog)
{
    if (dialog && !SetWindowPos(dialog, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE))
        TraceLastError("MyError:  SetAlertNotTopmost SetWindowPos");
}

void ReleaseAlertDialog(HWND dialog, int family)
{
    if (dialog) {
        SaveAlertPosition(dialog, family);
        for (int slot = 0; slot < PROGRAM_ICON_SLOTS; slot++)
            DropProgramIcon(dialog, slot);
        ClearHotTextButton(dialog);
    }
    giHelpPageId = 0;
}

void SetAlertCaption(HWND dialog, UINT partId)
{
    char caption[2 * LANG_TEXT_MAX], part[LANG_TEXT_MAX];
    if (GetLangString(STRING_ALERT_CAPTION, CAP(caption), caption) <= 0)
        caption[0] = '\0';
    if (GetLangString(partId, CAP(part), part) > 0) {
        AppendText(caption, CAP(caption), " - ");
        AppendText(caption, CAP(caption), part);
    }
    SetWindowTextA(dialog, caption);
}

void SetAlertText(HWND dialog, int id, UINT stringId)
{
    char text[LANG_TEXT_MAX];
    if (GetLangString(stringId, CAP(text), text) > 0)
        SetDlgItemTextA(dialog, id, text);
}

void SetAlertProgramBlock(HWND dialog, const char *productName, const VersionRecord *version)
{
    HWND name = GetDlgItem(dialog, IDC_PRODUCTNAME);
    if (name && ALERT_NAME_FONT)
        SendMessageA(name, WM_SETFONT, (WPARAM)ALERT_NAME_FONT, FALSE);
    SetDlgItemTextA(dialog, IDC_PRODUCTNAME, productName ? productName : "");
    SetAlertText(dialog, IDC_VERSIONLABEL, 630);
    int hasVersion = version && version->ProductVersion[0];
    SetDlgItemTextA(dialog, IDC_VERSION, hasVersion ? version->ProductVersion : "");
    ShowWindow(GetDlgItem(dialog, IDC_VERSION), hasVersion ? SW_SHOW : SW_HIDE);
    ShowWindow(GetDlgItem(dialog, IDC_VERSIONLABEL), hasVersion ? SW_SHOW : SW_HIDE);
    if (version && version->CompanyName[0])
        SetDlgItemTextA(dialog, IDC_COMPANY, version->CompanyName);
    if (version && version->FileDescription[0])
        SetDlgItemTextA(dialog, IDC_DESCRIPTION, version->FileDescription);
}

void SetAlertLegalNotice(HWND dialog, const VersionRecord *version)
{
    SetAlertText(dialog, IDC_VERSIONLABEL, STRING_LEGAL_VERSION_LABEL);
    if (version && version->LegalCopyright[0])
        SetDlgItemTextA(dialog, IDC_LEGAL, version->LegalCopyright);
}

void SetAlertButtons(HWND dialog, const AlertButton *buttons, int count, const int *textButtons, int textCount)
{
    for (int i = 0; i < count; i++)
        if (buttons[i].text)
            SetAlertText(dialog, buttons[i].id, buttons[i].text);
    MakeTextButtons(dialog, textButtons, textCount);
    for (int i = 0; i < count; i++)
        if (buttons[i].tip)
            AddToolTip(dialog, buttons[i].id, buttons[i].tip);
}

void ShowAlertFileProperties(HWND dialog, const char *file)
{
    char found[MAX_PATH];
    // FileExists may complete a bare program name to where the file really is.
    if (CopyText(found, CAP(found), file) && FileExists(found))
        fileShellExecute(dialog, found);
}

void AlertExitMonitor(void)
{
    // The main window's shutdown ends the dialog's loop with the rest.
    AlertHelpOpener(ALERT_ABORT_PAGE);
    if (ghMainWnd)
        PostMessageA(ghMainWnd, WM_DESTROY, 0, 0);
}

INT_PTR AlertDialogMessage(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam, AlertInitProc init,
                           AlertCommandProc command, int family)
{
    if (AlertButtonMessage(dialog, message, wParam, lParam))
        return TRUE;
    switch (message) {
    case WM_INITDIALOG:
        return init(dialog, lParam);
    case WM_COMMAND:
        return command(dialog, LOWORD(wParam), HIWORD(wParam));
    case WM_DESTROY:
        ReleaseAlertDialog(dialog, family);
        return FALSE;
    }
    return FALSE;
}

void *KeepAlertData(HWND dialog, LPARAM param, void *empty, size_t size)
{
    void *data = (void *)param;
    if (!data) {
        memset(empty, 0, size);
        data = empty;
    }
    SetWindowLongPtrA(dialog, DWLP_USER, (LONG_PTR)data);
    return data;
}

void *AlertDataOf(HWND dialog)
{
    return (void *)GetWindowLongPtrA(dialog, DWLP_USER);
}

AlertItem *SetAlertItem(HWND dialog, LPARAM param)
{
    static AlertItem NoItem;
    return (AlertItem *)KeepAlertData(dialog, param, &NoItem, sizeof(NoItem));
}

AlertItem *AlertItemOf(HWND dialog)
{
    return (AlertItem *)AlertDataOf(dialog);
}

void AnswerAlertItem(HWND dialog, int answer)
{
    AlertItem *item = AlertItemOf(dialog);
    if (item) {
        item->name[0] = '\0';
        item->path[0] = '\0';
    }
    EndDialog(dialog, answer);
}
