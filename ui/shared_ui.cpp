#include "ui/shared_ui.h"

#include "common/appstate.h"

HFONT ghFont14, ghFont14Underline, ghFont18SemiboldUnderline, ghFont18Medium, ghFont12Semibold, ghFont14Semibold,
    ghFont10Semibold, ghFont12Medium, ghFont10, ghFont18MediumUnderline;
HBITMAP ghBitmap133, ghBitmap134, ghBitmap135;

static HFONT MakeFont(int height, int weight, int underline, DWORD precision)
{
    return CreateFontA(height, 0, 0, 0, weight, FALSE, underline, FALSE, ANSI_CHARSET, precision,
                       CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, FF_SWISS, "MS Shell Dlg");
}

void CreateSharedUi(void)
{
    FreeSharedUi();
    ghFont14 = MakeFont(14, FW_NORMAL, 0, OUT_DEFAULT_PRECIS);
    ghFont14Underline = MakeFont(14, FW_NORMAL, 1, OUT_DEFAULT_PRECIS);
    ghFont18SemiboldUnderline = MakeFont(18, FW_SEMIBOLD, 1, OUT_DEFAULT_PRECIS);
    ghFont18Medium = MakeFont(18, FW_MEDIUM, 0, OUT_DEFAULT_PRECIS);
    ghFont12Semibold = MakeFont(12, FW_SEMIBOLD, 0, OUT_DEFAULT_PRECIS);
    ghFont14Semibold = MakeFont(14, FW_SEMIBOLD, 0, OUT_DEFAULT_PRECIS);
    ghFont10Semibold = MakeFont(10, FW_SEMIBOLD, 0, OUT_DEFAULT_PRECIS);
    ghFont12Medium = MakeFont(12, FW_MEDIUM, 0, OUT_DEFAULT_PRECIS);
    ghFont10 = MakeFont(10, FW_NORMAL, 0, OUT_DEFAULT_PRECIS);
    ghFont18MediumUnderline = MakeFont(18, FW_MEDIUM, 1, OUT_OUTLINE_PRECIS);
    ghBitmap133 = LoadBitmapA(hInstance, MAKEINTRESOURCEA(133));
    ghBitmap134 = LoadBitmapA(hInstance, MAKEINTRESOURCEA(134));
    ghBitmap135 = LoadBitmapA(hInstance, MAKEINTRESOURCEA(135));
}

static void DropObject(HGDIOBJ *object)
{
    if (*object)
        DeleteObject(*object);
    *object = NULL;
}

void FreeSharedUi(void)
{
    HGDIOBJ *objects[] = {
        (HGDIOBJ *)&ghFont14, (HGDIOBJ *)&ghFont14Underline, (HGDIOBJ *)&ghFont18SemiboldUnderline,
        (HGDIOBJ *)&ghFont18Medium, (HGDIOBJ *)&ghFont12Semibold, (HGDIOBJ *)&ghFont14Semibold,
        (HGDIOBJ *)&ghFont10Semibold, (HGDIOBJ *)&ghFont12Medium, (HGDIOBJ *)&ghFont10,
        (HGDIOBJ *)&ghFont18MediumUnderline, (HGDIOBJ *)&ghBitmap133, (HGDIOBJ *)&ghBitmap134,
        (HGDIOBJ *)&ghBitmap135,
    };
    for (HGDIOBJ *object : objects)
        DropObject(object);
}
