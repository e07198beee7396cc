// The secondary buttons of the alerts (Disable, Open Folder, Properties, Exit):
// plain text without a button face, so that they do not compete with the answer
// buttons, darkening to red-brown under the mouse.
#include "ui/alert.h"

#include <string.h>

#include "common/text.h"
#include "common/tracelog.h"
#include "ui/shared_ui.h"

#define TEXT_BUTTON_NORMAL 0x404040
#define TEXT_BUTTON_HOVER 0x660000
#define TEXT_BUTTON_SHADOW 0xC0C0C0
#define TEXT_BUTTON_CAPTION_MAX 512
// DT_RIGHT | DT_VCENTER | DT_SINGLELINE | DT_NOCLIP | DT_INTERNAL
#define TEXT_BUTTON_FORMAT 0x1126

// The colour of the next drawing. Only one alert is open at a time and only the
// button under the mouse is drawn in another colour, so one value serves all.
static COLORREF TextButtonColour = TEXT_BUTTON_NORMAL;

// The button drawn hot, kept on the dialog so that it goes with it.
static const char HotButtonProperty[] = "BrackmoorHotButton";

void MakeTextButtons(HWND dialog, const int *ids, int count)
{
    if (!dialog || !ids)
        return;
    for (int i = 0; i < count; i++) {
        HWND button = GetDlgItem(dialog, ids[i]);
        if (!button) {
            char text[32];
            FormatText(text, CAP(text), "No control %d", ids[i]);
            TestLog("MakeTextButtons", text);
            continue;
        }
        // The templates keep them as push buttons so that they still work, with a
        // face, should this ever fail.
        LONG style = GetWindowLongA(button, GWL_STYLE);
        SetWindowLongA(button, GWL_STYLE, style | BS_OWNERDRAW);
    }
    ClearHotTextButton(dialog);
}

void ClearHotTextButton(HWND dialog)
{
    if (dialog)
        RemovePropA(dialog, HotButtonProperty);
}

static int IsTextButton(HWND window)
{
    char className[16];
    if (!GetClassNameA(window, className, (int)sizeof(className)))
        return 0;
    if (StrEqualNoCase(className, "Button") != 0)
        return 0;
    // The whole type, not just its low bit: the default push button and the check
    // boxes have that bit too, and they draw themselves.
    return (GetWindowLongA(window, GWL_STYLE) & BS_TYPEMASK) == BS_OWNERDRAW;
}

static void ApplyHoverRule(HWND dialog, HWND under)
{
    HWND hot = (HWND)GetPropA(dialog, HotButtonProperty);
    if (under && under != dialog && IsChild(dialog, under) && IsTextButton(under)) {
        TextButtonColour = TEXT_BUTTON_HOVER;
        InvalidateRect(under, NULL, FALSE);
        SetPropA(dialog, HotButtonProperty, (HANDLE)under);
        return;
    }
    if (hot && IsWindow(hot)) {
        TextButtonColour = TEXT_BUTTON_NORMAL;
        // Erased: the red caption would otherwise stay under the grey one.
        InvalidateRect(hot, NULL, TRUE);
    }
    ClearHotTextButton(dialog);
}

static BOOL DrawTextButton(HWND dialog, const DRAWITEMSTRUCT *item)
{
    if (!item || item->CtlType != ODT_BUTTON || item->itemAction != ODA_DRAWENTIRE)
        return FALSE;
    char caption[TEXT_BUTTON_CAPTION_MAX] = "";
    GetWindowTextA(item->hwndItem, caption, (int)sizeof(caption));
    HDC dc = item->hDC;
    int oldMode = SetBkMode(dc, TRANSPARENT);
    COLORREF oldColour = GetTextColor(dc);
    HGDIOBJ oldFont = ALERT_BUTTON_FONT ? SelectObject(dc, ALERT_BUTTON_FONT) : NULL;
    RECT r = item->rcItem;
    if (strchr(caption, '\n') || strchr(caption, '\r')) {
        // Two-line captions get a light shadow so that the lines read as one label.
        RECT shadow = r;
        OffsetRect(&shadow, 1, 1);
        SetTextColor(dc, TEXT_BUTTON_SHADOW);
        DrawTextA(dc, caption, -1, &shadow, DT_WORDBREAK);
        SetTextColor(dc, TextButtonColour);
        DrawTextA(dc, caption, -1, &r, DT_WORDBREAK);
    } else {
        SetTextColor(dc, TextButtonColour);
        DrawTextA(dc, caption, -1, &r, TEXT_BUTTON_FORMAT);
    }
    if (oldFont)
        SelectObject(dc, oldFont);
    SetTextColor(dc, oldColour);
    SetBkMode(dc, oldMode);
    // The hover colour is for the one drawing the mouse asked for; every other
    // repaint of any text button is normal again.
    TextButtonColour = TEXT_BUTTON_NORMAL;
    // A dialog's answer to WM_DRAWITEM reaches the sender through the message result.
    SetWindowLongPtrA(dialog, DWLP_MSGRESULT, TRUE);
    return TRUE;
}

BOOL AlertButtonMessage(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_DRAWITEM:
        return DrawTextButton(dialog, (const DRAWITEMSTRUCT *)lParam);
    case WM_MOUSEMOVE: {
        // Over the dialog's own surface (and its transparent statics).
        POINT pt = {(short)LOWORD(lParam), (short)HIWORD(lParam)};
        ApplyHoverRule(dialog, ChildWindowFromPointEx(dialog, pt, CWP_SKIPINVISIBLE));
        return FALSE;
    }
    case WM_SETCURSOR:
        // A button takes the mouse moves over it for itself; its parent hears of
        // them only through WM_SETCURSOR. Not handled, so the cursor is still set.
        ApplyHoverRule(dialog, (HWND)wParam);
        return FALSE;
    default:
        return FALSE;
    }
}
