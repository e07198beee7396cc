// Where an alert opens: where the user last left an alert of its family, or, the
// first time, in the top right corner and slightly see-through.
#include "ui/alert.h"

#include "common/registry.h"
#include "common/text.h"
#include "common/tracelog.h"
#include "common/options.h"

#define POSITION_TEXT_MAX 32
#define FIRST_ALERT_ALPHA 242

typedef struct PositionFamily {
    const char *x, *y, *dx, *dy;
} PositionFamily;

// Index: FAMILY_ALERT, FAMILY_SYSFILES, FAMILY_DEFAULTWARNING.
static const PositionFamily PositionFamilies[] = {
    {"xPosAlert", "yPosAlert", "dxAlert", "dyAlert"},
    {"xPosSysFiles", "yPosSysFiles", "dxSysFiles", "dySysFiles"},
    {"xDefaultWarning", "yDefaultWarning", "dxDefaultWarning", "dyDefaultWarning"},
};

static const PositionFamily *FamilyOf(int family)
{
    if (family < 0 || family >= (int)(sizeof(PositionFamilies) / sizeof(PositionFamilies[0]))) {
        char text[32];
        FormatText(text, CAP(text), "Unknown family %d", family);
        TestLog("PlaceAlert", text);
        family = FAMILY_ALERT;
    }
    return &PositionFamilies[family];
}

// The companion reads "StartTab" for its first page and "Update" tells it to reload.
static void WriteStartTab(void)
{
    WriteOptionInt("StartTab", giStartTab);
}

static void WritePositionValue(const char *name, int value)
{
    char text[16];
    FormatText(text, CAP(text), "%d", value);
    SetRegString(HKEY_CURRENT_USER, BRACKMOOR_KEY, name, text);
}

void SaveAlertPosition(HWND dialog, int family)
{
    const PositionFamily *names = FamilyOf(family);
    RECT r;
    if (dialog && GetWindowRect(dialog, &r)) {
        WritePositionValue(names->x, r.left);
        WritePositionValue(names->y, r.top);
        WritePositionValue(names->dx, r.right - r.left);
        WritePositionValue(names->dy, r.bottom - r.top);
    } else {
        TraceLastError("MyError:  SaveAlertPosition GetWindowRect");
    }
    WriteStartTab();
}

void PlaceAlert(HWND dialog, int family)
{
    const PositionFamily *names = FamilyOf(family);
    WriteStartTab();
    if (!dialog)
        return;
    char xText[POSITION_TEXT_MAX], yText[POSITION_TEXT_MAX];
    int haveX = GetRegString(HKEY_CURRENT_USER, BRACKMOOR_KEY, names->x, xText, POSITION_TEXT_MAX) > 0;
    int haveY = GetRegString(HKEY_CURRENT_USER, BRACKMOOR_KEY, names->y, yText, POSITION_TEXT_MAX) > 0;
    if (haveX && haveY) {
        int x = TextToInt(xText), y = TextToInt(yText);
        // A monitor that was unplugged since leaves the position off every screen;
        // the alert must still be seen, so that axis goes back to the desktop's origin.
        if (x > GetSystemMetrics(SM_CXVIRTUALSCREEN) || x < 0)
            x = GetSystemMetrics(SM_XVIRTUALSCREEN);
        if (y > GetSystemMetrics(SM_CYVIRTUALSCREEN) || y < 0)
            y = GetSystemMetrics(SM_YVIRTUALSCREEN);
        // Only the corner moves: each template fixes its own size.
        if (!SetWindowPos(dialog, HWND_TOP, x, y, 0, 0, SWP_NOSIZE | SWP_NOACTIVATE))
            TraceLastError("MyError:  PlaceAlert SetWindowPos");
        return;
    }
    // The first alert shows through a little so that it does not look like part of
    // the program the user is working in.
    PlaceAlertTopRight(dialog, FIRST_ALERT_ALPHA);
}

void PlaceAlertTopRight(HWND dialog, BYTE alpha)
{
    RECT r;
    int width = GetWindowRect(dialog, &r) ? r.right - r.left : 0;
    if (!SetWindowPos(dialog, HWND_TOP, GetSystemMetrics(SM_CXSCREEN) - width, 0, 0, 0,
                      SWP_NOSIZE | SWP_NOACTIVATE))
        TraceLastError("MyError:  PlaceAlert SetWindowPos");
    LONG exStyle = GetWindowLongA(dialog, GWL_EXSTYLE);
    SetWindowLongA(dialog, GWL_EXSTYLE, exStyle | WS_EX_LAYERED);
    if (!SetLayeredWindowAttributes(dialog, 0, alpha, LWA_ALPHA))
        TraceLastError("MyError:  PlaceAlert SetLayeredWindowAttributes");
}
