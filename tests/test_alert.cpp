// Alert conventions with real dialogs from the program's templates pressed by a thread
// timer, read back from the windows and the registry.
#include "support/e2e.h"
#include "support/test_env.h"

#include <commctrl.h>
#include <mmsystem.h>

#include "common/tracelog.h"
#include "ui/alert.h"
#include "common/appstate.h"
#include "common/options.h"
#include "ui/shared_ui.h"
#include "ui/tray.h"
#include "resources/resource.h"

namespace {

const COLORREF kNormal = 0x404040, kHover = 0x660000, kShadow = 0xC0C0C0;

// One alert as the test sees it: what to press, and what was seen while it was open.
struct DialogRun {
    int family = FAMILY_ALERT, press = IDYES, helpPage = ALERT_HELP_PAGE;
    HWND dialog = NULL;
    int dialogsCreated = 0, ticks = 0;
    int msgOpenWhileOpen = -1, helpPageWhileOpen = -1;
};
DialogRun *gRun = nullptr;

// The kind of dialog procedure every alert has, reduced to the shared conventions.
INT_PTR CALLBACK ProbeAlertDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (AlertButtonMessage(dialog, message, wParam, lParam))
        return TRUE;
    DialogRun *run = (DialogRun *)GetWindowLongPtrA(dialog, DWLP_USER);
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrA(dialog, DWLP_USER, lParam);
        run = (DialogRun *)lParam;
        run->dialog = dialog;
        run->dialogsCreated++;
        BeginAlertDialog(dialog, run->helpPage);
        PlaceAlert(dialog, run->family);
        return TRUE;
    }
    if (message == WM_COMMAND && LOWORD(wParam) == IDC_INFO)
        SetAlertNotTopmost(dialog);
    else if (message == WM_COMMAND)
        EndDialog(dialog, LOWORD(wParam));
    else if (message == WM_DESTROY && run)
        ReleaseAlertDialog(dialog, run->family);
    return message == WM_COMMAND;
}

void CALLBACK DriveDialogTimer(HWND, UINT, UINT_PTR, DWORD)
{
    HWND dialog = gRun ? gRun->dialog : NULL;
    if (!dialog || !IsWindow(dialog))
        return;
    if (gRun->msgOpenWhileOpen < 0 && IsWindowVisible(dialog)) {
        gRun->msgOpenWhileOpen = bMsgOpen;
        gRun->helpPageWhileOpen = giHelpPageId;
        PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(gRun->press, BN_CLICKED), (LPARAM)GetDlgItem(dialog, gRun->press));
    } else if (++gRun->ticks > 300) {
        EndDialog(dialog, -2);     // never hang the test program on a dialog that did not show
    }
}

int RunProbedAlert(DialogRun &run, int templateId, int hideFlag, int startSuppression = 1)
{
    gRun = &run;
    UINT_PTR timer = SetTimer(NULL, 0, 30, DriveDialogTimer);
    int answer = RunAlert(templateId, ProbeAlertDlgProc, (LPARAM)&run, hideFlag, 821, startSuppression);
    KillTimer(NULL, timer);
    gRun = nullptr;
    return answer;
}

HWND OpenModeless(int templateId, DialogRun &run)
{
    return CreateDialogParamA(hInstance, MAKEINTRESOURCEA(templateId), NULL, ProbeAlertDlgProc, (LPARAM)&run);
}

// "ShowAlerts" and the nine hide flags, as the suppression takes them over.
int *const kFlags[] = {&giShowAlerts, &giHideStartup, &giHideIEHelper, &giHideServices, &giHideActiveX,
                       &giHideTasks,  &giHideHidden,  &giHideSystemFiles, &giHideHomePage, &giHideFileType};

// Distinct values per hide flag (base + index), so that a flag restored from its
// neighbour shows. ExpectFlags with base 0: taken over (ShowAlerts 0, the rest
// hide: 1 after an accept, 2 after a reject).
void SetUserFlags(int base, int showAlerts = 1)
{
    for (size_t i = 0; i < 10; i++)
        *kFlags[i] = i == 0 ? showAlerts : base + (int)i;
}

void ExpectFlags(int base, const std::string &when, int showAlerts = 1, int hide = 1)
{
    for (size_t i = 0; i < 10; i++)
        EXPECT_EQ(base ? (i == 0 ? showAlerts : base + (int)i) : (i != 0) * hide, *kFlags[i]) << when << ": flag " << i;
}

class AlertTest : public BrackmoorTest {
protected:
    void SetUp() override
    {
        BrackmoorTest::SetUp();
        INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_WIN95_CLASSES};
        InitCommonControlsEx(&icc);
        bMsgOpen = AlertCount = giStartTab = giHelpPageId = 0;
        HideChoice = ANSWER_ACCEPT;
        bIconShown = 0;     // no tray icon: the status calls must cope
        CreateSharedUi();
        ghMainWnd = CreateWindowExA(0, "STATIC", "owner", WS_OVERLAPPEDWINDOW, 0, 0, 0, 0, NULL, NULL, hInstance, NULL);
        ASSERT_NE(nullptr, ghMainWnd);
    }
    void TearDown() override
    {
        DestroyWindow(ghMainWnd);
        ghMainWnd = NULL;
        FreeSharedUi();
        BrackmoorTest::TearDown();
    }
};

// ---- The alert sequence and the extra-alert suppression ---------------------

TEST_F(AlertTest, AlertsAreDecidedWithOrWithoutADialogAndMayStartTheSuppression)
{
    const int D = IDD_DELAYALERT;
    const struct {
        int showAlerts, hideFlag, templateId;
        int press;          // the button the driver presses if a dialog shows
        int answer, dialogs;
        int option, startSuppression;   // "SuppressExtraAlerts" and RunAlert's own argument
        bool starts;
    } rows[] = {
        {0, 1, D, IDNO, 6, 0, 0, 1, false},  {0, 2, D, IDYES, 7, 0, 0, 1, false}, {0, -1, D, IDYES, 7, 0, 0, 1, false},
        {0, 0, D, IDNO, 7, 1, 0, 1, false},  {1, 1, D, IDNO, 7, 1, 0, 1, false},  {1, 2, D, IDYES, 6, 1, 0, 1, false},
        {2, 1, D, IDNO, 7, 1, 0, 1, false},  {1, 0, 4711, IDYES, -1, 0, 0, 1, false},    // no such template
        {1, 0, D, IDYES, 6, 1, 1, 1, true},  {1, 0, D, IDNO, 7, 1, 1, 1, true},   {0, 2, D, IDYES, 7, 0, 1, 1, true},
        {1, 0, D, IDNO, 7, 1, 2, 1, false},  {1, 0, D, IDNO, 7, 1, 1, 0, false},
        {1, 0, D, ANSWER_DISABLE, 11, 1, 1, 1, false},      // the alert disabled the entry itself
    };
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); i++) {
        const std::string row = "row " + std::to_string(i);
        const int base = 20 + 20 * (int)i;
        giSuppressExtraAlerts = rows[i].option;
        AlertCount = 0;
        HideChoice = ANSWER_ACCEPT;
        SetUserFlags(base, rows[i].showAlerts);
        DialogRun run;
        run.press = rows[i].press;
        EXPECT_EQ(rows[i].answer, RunProbedAlert(run, rows[i].templateId, rows[i].hideFlag, rows[i].startSuppression))
            << row;
        EXPECT_EQ(rows[i].dialogs, run.dialogsCreated) << row;
        EXPECT_EQ(rows[i].dialogs ? 1 : -1, run.msgOpenWhileOpen) << row;
        EXPECT_EQ(rows[i].dialogs ? ALERT_HELP_PAGE : -1, run.helpPageWhileOpen) << row;
        EXPECT_EQ(0, bMsgOpen) << row;
        EXPECT_EQ(0, giHelpPageId) << row;
        EXPECT_EQ(rows[i].starts ? 3 : 0, AlertCount) << row;
        EXPECT_EQ(rows[i].starts ? rows[i].answer : ANSWER_ACCEPT, HideChoice) << row;
        ExpectFlags(rows[i].starts ? 0 : base, row, rows[i].showAlerts, rows[i].answer == ANSWER_REJECT ? 2 : 1);
        if (rows[i].starts) {
            SetHideExtraState(HIDEEXTRA_RESTORE);
            ExpectFlags(base, row + " restored", rows[i].showAlerts);
        }
    }
}

TEST_F(AlertTest, AnAlertAnsweredDuringTheSuppressionDoesNotOverwriteTheSavedCopy)
{
    TraceToTempFile();
    giSuppressExtraAlerts = 1;
    SetUserFlags(20);
    AlertCount = -4;        // gone wrong somewhere: repaired, so the suppression still starts
    DialogRun first;
    EXPECT_EQ(6, RunProbedAlert(first, IDD_DELAYALERT, 0));
    EXPECT_EQ(3, AlertCount);
    EXPECT_TRUE(TraceHas("AlERTCOUNT: Less than zero"));
    // The next finding during the suppression: decided silently, the state kept.
    DialogRun second;
    EXPECT_EQ(6, RunProbedAlert(second, IDD_DELAYALERT, giHideTasks));
    EXPECT_EQ(0, second.dialogsCreated);
    EXPECT_EQ(3, AlertCount);
    // Alerts re-enabled mid-suppression (as the companion's "Update" would): the
    // dialog shows, and its No must not be saved over the user's own flags.
    giShowAlerts = 1;
    AlertCount = 2;
    DialogRun third;
    third.press = IDNO;
    EXPECT_EQ(7, RunProbedAlert(third, IDD_DELAYALERT, 0));
    EXPECT_EQ(2, AlertCount);
    EXPECT_EQ(6, HideChoice);
    SetHideExtraState(HIDEEXTRA_RESTORE);
    ExpectFlags(20, "after RESTORE");
    // Memory only: nothing of the takeover reached the stored options.
    EXPECT_FALSE(RegHasValue(HKEY_CURRENT_USER, OPTIONS_KEY, "ShowAlerts"));
    EXPECT_FALSE(RegHasValue(HKEY_CURRENT_USER, OPTIONS_KEY, "HideTasks"));
}

TEST_F(AlertTest, AlertsOpenWhereTheirFamilyWasLeftAndSaveItOnClosing)
{
    const int xv = GetSystemMetrics(SM_XVIRTUALSCREEN), yv = GetSystemMetrics(SM_YVIRTUALSCREEN);
    const int cxv = GetSystemMetrics(SM_CXVIRTUALSCREEN), cyv = GetSystemMetrics(SM_CYVIRTUALSCREEN);
    const std::string cxvText = std::to_string(cxv), cyvText = std::to_string(cyv);
    const int TOP_RIGHT = -99999;
    const char *const names[3][4] = {
        {"xPosAlert", "yPosAlert", "dxAlert", "dyAlert"},
        {"xPosSysFiles", "yPosSysFiles", "dxSysFiles", "dySysFiles"},
        {"xDefaultWarning", "yDefaultWarning", "dxDefaultWarning", "dyDefaultWarning"},
    };
    const struct {
        int family, storedAs;       // the family placed, and the family whose names hold the position
        const char *x, *y;          // NULL: not stored
        int wantX, wantY;           // TOP_RIGHT: the first-alert corner, layered
    } rows[] = {
        {FAMILY_ALERT, 0, NULL, NULL, TOP_RIGHT, 0},       {FAMILY_ALERT, 0, "100", "50", 100, 50},
        {FAMILY_ALERT, 0, "99999", "-5", xv, yv},          {FAMILY_ALERT, 0, "-1", "99999", xv, yv},
        {FAMILY_ALERT, 0, "250", "-5", 250, yv},  {FAMILY_ALERT, 0, cxvText.c_str(), cyvText.c_str(), cxv, cyv},
        {FAMILY_ALERT, 0, "", "30", TOP_RIGHT, 0},         {FAMILY_ALERT, 0, "120", NULL, TOP_RIGHT, 0},
        {FAMILY_SYSFILES, 1, "210", "90", 210, 90},        {FAMILY_SYSFILES, 0, "210", "90", TOP_RIGHT, 0},
        {FAMILY_DEFAULTWARNING, 2, "33", "44", 33, 44},    {FAMILY_DEFAULTWARNING, 1, "33", "44", TOP_RIGHT, 0},
    };
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); i++) {
        RegDeleteTreeView(HKEY_CURRENT_USER, BRACKMOOR_KEY);
        PutOption("Update", "0");
        PutOption("StartTab", "5");
        if (rows[i].x)
            RegPut(HKEY_CURRENT_USER, BRACKMOOR_KEY, names[rows[i].storedAs][0], rows[i].x);
        if (rows[i].y)
            RegPut(HKEY_CURRENT_USER, BRACKMOOR_KEY, names[rows[i].storedAs][1], rows[i].y);
        DialogRun run;
        run.family = rows[i].family;
        HWND dialog = OpenModeless(rows[i].family == FAMILY_DEFAULTWARNING ? IDD_MISSINGNOTICE : IDD_DELAYALERT, run);
        ASSERT_NE(nullptr, dialog) << "row " << i;
        RECT r = {};
        GetWindowRect(dialog, &r);
        BYTE alpha = 0;
        DWORD flags = 0;
        bool layered = (GetWindowLongA(dialog, GWL_EXSTYLE) & WS_EX_LAYERED) != 0;
        bool topRight = rows[i].wantX == TOP_RIGHT;
        EXPECT_EQ(topRight ? GetSystemMetrics(SM_CXSCREEN) - (r.right - r.left) : rows[i].wantX, r.left) << "row " << i;
        EXPECT_EQ(rows[i].wantY, r.top) << "row " << i;
        EXPECT_EQ(topRight, layered) << "row " << i;
        EXPECT_TRUE(!topRight || (GetLayeredWindowAttributes(dialog, NULL, &alpha, &flags) && alpha == 242 &&
                                  (flags & LWA_ALPHA))) << "row " << i << ": alpha " << (int)alpha;
        EXPECT_EQ("0", RegText(HKEY_CURRENT_USER, OPTIONS_KEY, "StartTab")) << "row " << i;
        EXPECT_EQ("1", RegText(HKEY_CURRENT_USER, OPTIONS_KEY, "Update")) << "row " << i;
        // Moved by the user, as far as the window knows; closing saves it there.
        PutOption("Update", "0");
        PutOption("StartTab", "4");
        SetWindowPos(dialog, NULL, 37, 61 + (int)i, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        DestroyWindow(dialog);
        EXPECT_EQ("0", RegText(HKEY_CURRENT_USER, OPTIONS_KEY, "StartTab")) << "row " << i << " closed";
        EXPECT_EQ("1", RegText(HKEY_CURRENT_USER, OPTIONS_KEY, "Update")) << "row " << i << " closed";
        const long want[4] = {37, 61 + (long)i, r.right - r.left, r.bottom - r.top};
        for (int f = 0; f < 3; f++)
            for (int v = 0; v < 4 && (f == rows[i].family || f != rows[i].storedAs); v++)    // others: not written
                EXPECT_EQ(f == rows[i].family ? std::to_string(want[v]) : "",
                          RegText(HKEY_CURRENT_USER, BRACKMOOR_KEY, names[f][v])) << "row " << i << " " << names[f][v];
    }
}

TEST_F(AlertTest, SoundKeysAndPlayingFollowTheOption)
{
    char tiny[8];
    EXPECT_EQ(0, GetAlertSoundKey(1, tiny, sizeof(tiny)));
    // An event with a file of its own (missing: the system falls back); the others use the built-in sound.
    RegPut(HKEY_CURRENT_USER, "AppEvents\\Schemes\\Apps\\Brackmoor\\Startup Alert\\.current", "",
           (TempFolder() + "\\no-such-sound.wav").c_str());
    const struct { int option, number; const char *event; bool plays; } rows[] = {
        {0, 1, "Startup Alert", false}, {-1, 14, "Quick Scan Alert", false}, {1, 1, "Startup Alert", true},
        {1, 15, "Open", true},          {2, -1, "Open", true},
    };
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); i++) {
        std::string want = std::string("AppEvents\\Schemes\\Apps\\Brackmoor\\") + rows[i].event + "\\.current";
        char key[MAX_PATH];
        EXPECT_EQ((int)want.size(), GetAlertSoundKey(rows[i].number, key, sizeof(key))) << "row " << i;
        EXPECT_EQ(want, key) << "row " << i;
        TraceToTempFile();
        DeleteFileA(TestLogPath);
        giSound = rows[i].option;
        PlayAlertSound(rows[i].number);
        EXPECT_EQ(rows[i].plays, TraceHas("PlaySound: *")) << "row " << i;
    }
    PlaySoundA(NULL, NULL, 0);
    RegDeleteTreeView(HKEY_CURRENT_USER, "AppEvents\\Schemes\\Apps\\Brackmoor");
}

// ---- WM_INITDIALOG and WM_DESTROY helpers ------------------------------------

TEST_F(AlertTest, ToolTipsFollowTheOption)
{
    const std::string expected = LangText(719);
    ASSERT_NE("", expected);
    const struct { int option; size_t tips; bool balloon; int control; } rows[] = {
        {0, 0, false, IDYES}, {-1, 0, false, IDYES}, {1, 1, false, IDYES}, {2, 1, true, IDYES},
        {3, 1, false, IDYES}, {1, 0, false, 9999},   // no such control
    };
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); i++) {
        giToolTips = rows[i].option;
        DialogRun run;
        HWND dialog = OpenModeless(IDD_DELAYALERT, run);
        ASSERT_NE(nullptr, dialog) << "row " << i;
        AddToolTip(dialog, rows[i].control, 719);
        std::vector<HWND> tips;     // top-level windows, owned by the dialog
        for (HWND w = NULL; (w = FindWindowExA(NULL, w, TOOLTIPS_CLASSA, NULL)) != NULL;)
            if (GetWindow(w, GW_OWNER) == dialog)
                tips.push_back(w);
        ASSERT_EQ(rows[i].tips, tips.size()) << "row " << i;
        for (HWND tip : tips) {
            EXPECT_EQ(rows[i].balloon, (GetWindowLongA(tip, GWL_STYLE) & TTS_BALLOON) != 0) << "row " << i;
            char text[512] = "";
            TOOLINFOA tool = {TTTOOLINFOA_V2_SIZE, 0, NULL, 0, {}, NULL, text, 0, NULL};
            EXPECT_TRUE(SendMessageA(tip, TTM_ENUMTOOLSA, 0, (LPARAM)&tool)) << "row " << i;
            EXPECT_EQ((UINT_PTR)GetDlgItem(dialog, IDYES), tool.uId) << "row " << i;
            EXPECT_EQ(expected, text) << "row " << i;
            EXPECT_EQ(0xCCFFFFu, (DWORD)SendMessageA(tip, TTM_GETTIPBKCOLOR, 0, 0)) << "row " << i;
            EXPECT_EQ(20000, (int)SendMessageA(tip, TTM_GETDELAYTIME, TTDT_AUTOPOP, 0)) << "row " << i;
        }
        DestroyWindow(dialog);
        for (HWND tip : tips)
            EXPECT_FALSE(IsWindow(tip)) << "row " << i << ": the tip outlived its dialog";
    }
}

TEST_F(AlertTest, InitDialogHelpersAndWhatTheDialogGivesBack)
{
    const std::string own = ThisProgram();
    // Paths of 80 and 81 characters: the last that keeps the larger font, the first that does not.
    const std::string folder = TempFolder() + "\\";
    ASSERT_LT(folder.size(), 70u);
    const std::string text = folder + std::string(80 - folder.size() - 4, 't') + ".txt";
    const std::string missing = folder + std::string(81 - folder.size() - 4, 'm') + ".exe";
    WriteWholeFile(text, "no icons in here");
    const struct { std::string path; bool icon; int helpPage; } rows[] = {
        {own, true, ALERT_HELP_PAGE}, {missing, false, ALERT_HELP_PAGE}, {text, false, 0}, {"", false, ALERT_HELP_PAGE},
    };
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); i++) {
        giHelpPageId = 6026;
        DialogRun run;
        run.helpPage = rows[i].helpPage;     // 0: the delayed-start alert sets none
        HWND dialog = OpenModeless(IDD_DELAYALERT, run);
        ASSERT_NE(nullptr, dialog) << "row " << i;
        EXPECT_EQ(rows[i].helpPage ? rows[i].helpPage : 6026, giHelpPageId) << "row " << i;
        SetAlertPathControl(dialog, IDC_PATH, rows[i].path.c_str());
        EXPECT_EQ(rows[i].path.size() > 80 ? ghFont12Semibold : ghFont14Semibold,
                  (HFONT)SendDlgItemMessageA(dialog, IDC_PATH, WM_GETFONT, 0, 0)) << "row " << i;
        EXPECT_EQ(rows[i].path, ControlText(dialog, IDC_PATH)) << "row " << i;

        SetAlertProgramIcon(dialog, IDC_PROGICON, rows[i].path.c_str());
        HICON icon = (HICON)SendDlgItemMessageA(dialog, IDC_PROGICON, BM_GETIMAGE, IMAGE_ICON, 0);
        EXPECT_EQ(rows[i].icon, icon != NULL) << "row " << i;
        ICONINFO info = {};
        if (icon) {
            // A second icon replaces the first, which is destroyed, not leaked.
            SetAlertProgramIcon(dialog, IDC_PROGICON, own.c_str());
            HICON second = (HICON)SendDlgItemMessageA(dialog, IDC_PROGICON, BM_GETIMAGE, IMAGE_ICON, 0);
            EXPECT_NE(nullptr, second) << "row " << i;
            EXPECT_FALSE(GetIconInfo(icon, &info)) << "row " << i << ": first icon still alive";
            icon = second;
        }
        // Info leaves the topmost band, so that the browser can come in front.
        ShowWindow(dialog, SW_SHOWNOACTIVATE);
        EXPECT_TRUE(GetWindowLongA(dialog, GWL_EXSTYLE) & WS_EX_TOPMOST) << "row " << i;
        SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDC_INFO, BN_CLICKED), (LPARAM)GetDlgItem(dialog, IDC_INFO));
        EXPECT_FALSE(GetWindowLongA(dialog, GWL_EXSTYLE) & WS_EX_TOPMOST) << "row " << i;
        DestroyWindow(dialog);
        EXPECT_EQ(0, giHelpPageId) << "row " << i;
        EXPECT_FALSE(icon && GetIconInfo(icon, &info)) << "row " << i << ": icon outlived the dialog";
    }
}

// ---- Owner-drawn text buttons ----------------------------------------------------

// A white canvas the drawing goes to, read back pixel by pixel.
struct Canvas {
    HDC dc = CreateCompatibleDC(NULL);
    HBITMAP bitmap = CreateBitmap(120, 24, 1, 32, NULL);
    HGDIOBJ old = SelectObject(dc, bitmap);
    ~Canvas()
    {
        SelectObject(dc, old);
        DeleteObject(bitmap);
        DeleteDC(dc);
    }
    // Sends a drawing of the control (a whole one unless told), onto white.
    LRESULT Draw(HWND dialog, int id, UINT type = ODT_BUTTON, UINT action = ODA_DRAWENTIRE)
    {
        DRAWITEMSTRUCT item = {type, (UINT)id, 0, action, 0, GetDlgItem(dialog, id), dc, {0, 0, 120, 24}, 0};
        FillRect(dc, &item.rcItem, (HBRUSH)GetStockObject(WHITE_BRUSH));
        return SendMessageA(dialog, WM_DRAWITEM, id, (LPARAM)&item);
    }
    int Count(COLORREF colour) const
    {
        int n = 0;
        for (int i = 0; i < 120 * 24; i++)
            n += GetPixel(dc, i % 120, i / 120) == colour;
        return n;
    }
};

void MouseOver(HWND dialog, int id)
{
    RECT r = {};
    GetWindowRect(GetDlgItem(dialog, id), &r);
    MapWindowPoints(NULL, dialog, (POINT *)&r, 2);
    SendMessageA(dialog, WM_MOUSEMOVE, 0, MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2));
}

TEST_F(AlertTest, TextButtonsAreOwnerDrawnAndDrawInTheCurrentColour)
{
    const int ids[] = {IDC_DISABLE, IDC_LOCATION, IDC_PROPERTIES, IDC_ABORT, IDYES, IDNO, IDC_INFO, IDC_CHECK};
    DialogRun run;
    HWND dialog = OpenModeless(IDD_NEWPROG, run);
    ASSERT_NE(nullptr, dialog);
    MakeTextButtons(dialog, ids, 4);
    for (size_t i = 0; i < 8; i++) {        // only the first four are made owner-drawn
        LONG style = GetWindowLongA(GetDlgItem(dialog, ids[i]), GWL_STYLE);
        EXPECT_EQ(i < 4, (style & BS_TYPEMASK) == BS_OWNERDRAW) << "row " << i;
        EXPECT_TRUE(style & WS_VISIBLE) << "row " << i;
    }

    Canvas canvas;
    EXPECT_EQ(TRUE, canvas.Draw(dialog, IDC_DISABLE));
    EXPECT_GT(canvas.Count(kNormal), 0);
    EXPECT_EQ(0, canvas.Count(kHover) + canvas.Count(kShadow));
    // Only whole drawings of buttons are ours.
    EXPECT_EQ(0, canvas.Draw(dialog, IDC_DISABLE, ODT_BUTTON, ODA_FOCUS));
    EXPECT_EQ(0, canvas.Draw(dialog, IDC_DISABLE, ODT_STATIC));
    EXPECT_EQ(0, canvas.Count(kNormal));

    // The mouse over a text button: the next drawing is hot, the one after it normal.
    MouseOver(dialog, IDC_LOCATION);
    EXPECT_EQ(TRUE, canvas.Draw(dialog, IDC_LOCATION));
    EXPECT_GT(canvas.Count(kHover), 0);
    EXPECT_EQ(0, canvas.Count(kNormal));
    canvas.Draw(dialog, IDC_LOCATION);
    EXPECT_EQ(0, canvas.Count(kHover));
    // Hot, then the mouse leaves for a button that draws itself: normal again.
    MouseOver(dialog, IDC_ABORT);
    MouseOver(dialog, IDYES);
    canvas.Draw(dialog, IDC_ABORT);
    EXPECT_EQ(0, canvas.Count(kHover));
    // A button's own mouse moves reach the dialog as WM_SETCURSOR.
    SendMessageA(dialog, WM_SETCURSOR, (WPARAM)GetDlgItem(dialog, IDC_PROPERTIES), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    canvas.Draw(dialog, IDC_PROPERTIES);
    EXPECT_GT(canvas.Count(kHover), 0);
    // Two-line captions: a light shadow under the text.
    SetDlgItemTextA(dialog, IDC_LOCATION, "Open\nFolder");
    EXPECT_EQ(TRUE, canvas.Draw(dialog, IDC_LOCATION));
    EXPECT_GT(canvas.Count(kShadow), 0);
    EXPECT_GT(canvas.Count(kNormal), 0);
    DestroyWindow(dialog);
}

}  // namespace
