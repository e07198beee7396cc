// Alert conventions, driven like a user: real dialogs from the program's own
// templates, pressed by a thread timer while a CBT hook counts the dialogs that
// appear; positions, styles, fonts, tooltips and drawing are read back from the
// windows and the registry, not from the code under test.
#include "support/test_env.h"

#include <commctrl.h>
#include <mmsystem.h>
#include <stdlib.h>
#include <string.h>

#include "common/text.h"
#include "common/tracelog.h"
#include "monitor/alert.h"
#include "monitor/appstate.h"
#include "monitor/options.h"
#include "monitor/shared_ui.h"
#include "monitor/tray.h"
#include "resources/resource.h"

namespace {

const char kPositionKey[] = "Software\\Dunmere Works\\Brackmoor";
const char kOptionsKey[] = "Software\\Dunmere Works\\Brackmoor\\Options";
const COLORREF kNormal = 0x404040, kHover = 0x660000, kShadow = 0xC0C0C0;

// One alert as the test sees it: what to press, and what was seen while it was open.
struct DialogRun {
    int family = FAMILY_ALERT;
    int press = IDYES;
    int helpPage = ALERT_HELP_PAGE;
    HWND dialog = NULL;
    int dialogsCreated = 0;
    bool probed = false;
    int msgOpenWhileOpen = -1;
    int helpPageWhileOpen = -1;
    RECT rect = {};
    LONG exStyle = 0;
    int ticks = 0;
};
DialogRun *gRun = nullptr;

// The kind of dialog procedure every alert has, reduced to the shared conventions.
INT_PTR CALLBACK ProbeAlertDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (AlertButtonMessage(dialog, message, wParam, lParam))
        return TRUE;
    DialogRun *run = (DialogRun *)GetWindowLongPtrA(dialog, DWLP_USER);
    switch (message) {
    case WM_INITDIALOG:
        SetWindowLongPtrA(dialog, DWLP_USER, lParam);
        run = (DialogRun *)lParam;
        BeginAlertDialog(dialog, run ? run->helpPage : ALERT_HELP_PAGE);
        PlaceAlert(dialog, run ? run->family : FAMILY_ALERT);
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDC_INFO) {
            SetAlertNotTopmost(dialog);
            return TRUE;
        }
        EndDialog(dialog, LOWORD(wParam));
        return TRUE;
    case WM_DESTROY:
        ReleaseAlertDialog(dialog, run ? run->family : FAMILY_ALERT);
        return FALSE;
    }
    return FALSE;
}

bool IsDialogClass(HWND window)
{
    char name[32] = "";
    GetClassNameA(window, name, sizeof(name));
    return strcmp(name, "#32770") == 0;
}

LRESULT CALLBACK CountDialogsHook(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HCBT_CREATEWND && gRun && IsDialogClass((HWND)wParam)) {
        gRun->dialogsCreated++;
        gRun->dialog = (HWND)wParam;
    }
    return CallNextHookEx(NULL, code, wParam, lParam);
}

void CALLBACK DriveDialogTimer(HWND, UINT, UINT_PTR, DWORD)
{
    if (!gRun)
        return;
    gRun->ticks++;
    HWND dialog = gRun->dialog;
    if (!gRun->probed && dialog && IsWindow(dialog) && IsWindowVisible(dialog)) {
        gRun->probed = true;
        gRun->msgOpenWhileOpen = bMsgOpen;
        gRun->helpPageWhileOpen = giHelpPageId;
        GetWindowRect(dialog, &gRun->rect);
        gRun->exStyle = GetWindowLongA(dialog, GWL_EXSTYLE);
        PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(gRun->press, BN_CLICKED),
                     (LPARAM)GetDlgItem(dialog, gRun->press));
    } else if (gRun->ticks > 300 && dialog && IsWindow(dialog)) {
        // Never hang the test program on a dialog that did not show.
        EndDialog(dialog, -2);
    }
}

int RunProbedAlert(DialogRun &run, int templateId, int hideFlag, int startSuppression = 1)
{
    gRun = &run;
    HHOOK hook = SetWindowsHookExA(WH_CBT, CountDialogsHook, NULL, GetCurrentThreadId());
    EXPECT_NE(nullptr, hook);
    UINT_PTR timer = SetTimer(NULL, 0, 30, DriveDialogTimer);
    int answer = RunAlert(templateId, ProbeAlertDlgProc, (LPARAM)&run, hideFlag, 821, startSuppression);
    KillTimer(NULL, timer);
    if (hook)
        UnhookWindowsHookEx(hook);
    gRun = nullptr;
    return answer;
}

HWND OpenModeless(int templateId, DialogRun &run)
{
    return CreateDialogParamA(hInstance, MAKEINTRESOURCEA(templateId), NULL, ProbeAlertDlgProc, (LPARAM)&run);
}

struct WindowRect {
    int x, y, w, h;
};
WindowRect RectOf(HWND window)
{
    RECT r = {};
    GetWindowRect(window, &r);
    return {r.left, r.top, r.right - r.left, r.bottom - r.top};
}

int IntText(const std::string &text)
{
    return text.empty() ? -123456 : atoi(text.c_str());
}

// The nine hide flags and "ShowAlerts", as the suppression takes them over.
struct FlagRef {
    const char *name;
    int *value;
};
const FlagRef kFlags[] = {
    {"ShowAlerts", &giShowAlerts},         {"HideStartup", &giHideStartup},
    {"HideIEHelper", &giHideIEHelper},     {"HideServices", &giHideServices},
    {"HideActiveX", &giHideActiveX},       {"HideTasks", &giHideTasks},
    {"HideHidden", &giHideHidden},         {"HideSystemFiles", &giHideSystemFiles},
    {"HideHomePage", &giHideHomePage},     {"HideFileType", &giHideFileType},
};
const size_t kFlagCount = sizeof(kFlags) / sizeof(kFlags[0]);

// Distinct values per flag, so that a flag restored from its neighbour shows.
void SetUserFlags(int showAlerts, int base)
{
    for (size_t i = 0; i < kFlagCount; i++)
        *kFlags[i].value = i == 0 ? showAlerts : base + (int)i;
}

void ExpectUserFlags(int showAlerts, int base, const char *when)
{
    for (size_t i = 0; i < kFlagCount; i++)
        EXPECT_EQ(i == 0 ? showAlerts : base + (int)i, *kFlags[i].value) << when << ": flag " << i << " " << kFlags[i].name;
}

void ExpectTakenOver(const char *when)
{
    for (size_t i = 0; i < kFlagCount; i++)
        EXPECT_EQ(i == 0 ? 0 : 1, *kFlags[i].value) << when << ": flag " << i << " " << kFlags[i].name;
}

void StartTraceLog()
{
    TestLogCounter = 0;
    CopyText(TestLogPath, CAP(TestLogPath), (TempFolder() + "\\trace.txt").c_str());
}

int CountTrace(const std::string &part)
{
    int n = 0;
    for (const std::string &line : TraceEntries())
        if (line.find(part) != std::string::npos)
            n++;
    return n;
}

class AlertTest : public BrackmoorTest {
protected:
    void SetUp() override
    {
        BrackmoorTest::SetUp();
        INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_WIN95_CLASSES};
        InitCommonControlsEx(&icc);
        bMsgOpen = 0;
        AlertCount = 0;
        HideChoice = ANSWER_ACCEPT;
        giStartTab = 0;
        giHelpPageId = 0;
        bIconShown = 0;     // no tray icon: the status calls must cope
        CreateSharedUi();
        ghMainWnd = CreateWindowExA(0, "STATIC", "Brackmoor test owner", WS_OVERLAPPEDWINDOW, 0, 0, 0, 0, NULL,
                                    NULL, hInstance, NULL);
        ASSERT_NE(nullptr, ghMainWnd);
    }
    void TearDown() override
    {
        if (ghMainWnd)
            DestroyWindow(ghMainWnd);
        ghMainWnd = NULL;
        FreeSharedUi();
        BrackmoorTest::TearDown();
    }
};

}  // namespace

// ---- The alert sequence ----------------------------------------------------

TEST_F(AlertTest, HiddenAlertsAreDecidedWithoutADialog)
{
    giSuppressExtraAlerts = 0;
    const struct {
        int showAlerts, hideFlag;
        int press;          // the button the driver presses if a dialog shows
        int answer;
        bool dialog;
    } rows[] = {
        {0, 1, IDNO, 6, false},  {0, 2, IDYES, 7, false}, {0, 5, IDYES, 7, false}, {0, -1, IDYES, 7, false},
        {0, 0, IDNO, 7, true},   {1, 1, IDNO, 7, true},   {1, 2, IDYES, 6, true},  {1, 0, IDYES, 6, true},
        {2, 1, IDNO, 7, true},
    };
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); i++) {
        giShowAlerts = rows[i].showAlerts;
        DialogRun run;
        run.press = rows[i].press;
        int answer = RunProbedAlert(run, IDD_DELAYALERT, rows[i].hideFlag);
        EXPECT_EQ(rows[i].answer, answer) << "row " << i;
        EXPECT_EQ(rows[i].dialog ? 1 : 0, run.dialogsCreated) << "row " << i;
        EXPECT_EQ(0, bMsgOpen) << "row " << i;
        EXPECT_EQ(0, giHelpPageId) << "row " << i;
        if (rows[i].dialog) {
            EXPECT_TRUE(run.probed) << "row " << i;
            EXPECT_EQ(1, run.msgOpenWhileOpen) << "row " << i;
            EXPECT_EQ(ALERT_HELP_PAGE, run.helpPageWhileOpen) << "row " << i;
            EXPECT_FALSE(IsWindow(run.dialog)) << "row " << i;
        }
    }
}

TEST_F(AlertTest, AMissingTemplateAnswersMinusOneAndClearsTheFlag)
{
    giSuppressExtraAlerts = 0;
    giShowAlerts = 1;
    DialogRun run;
    EXPECT_EQ(-1, RunProbedAlert(run, 4711, 0));
    EXPECT_EQ(0, run.dialogsCreated);
    EXPECT_EQ(0, bMsgOpen);
}

TEST_F(AlertTest, ANegativeAlertCountIsRepairedAfterTheAlert)
{
    StartTraceLog();
    giSuppressExtraAlerts = 0;
    giShowAlerts = 0;
    AlertCount = -4;
    DialogRun run;
    EXPECT_EQ(6, RunProbedAlert(run, IDD_DELAYALERT, 1));
    EXPECT_EQ(0, AlertCount);
    EXPECT_EQ(1, CountTrace("AlERTCOUNT: Less than zero"));
}

// ---- Extra-alert suppression -----------------------------------------------

TEST_F(AlertTest, ARejectStartsTheSuppressionAndTheUsersFlagsComeBack)
{
    StartTraceLog();
    giSuppressExtraAlerts = 1;
    SetUserFlags(1, 20);
    DialogRun first;
    first.press = IDNO;
    EXPECT_EQ(7, RunProbedAlert(first, IDD_DELAYALERT, giHideTasks));
    EXPECT_EQ(1, first.dialogsCreated);
    EXPECT_EQ(3, AlertCount);
    EXPECT_EQ(7, HideChoice);
    ExpectTakenOver("after the first answer");

    // The next finding during the suppression: accepted silently, the state kept.
    DialogRun second;
    second.press = IDNO;
    EXPECT_EQ(6, RunProbedAlert(second, IDD_DELAYALERT, giHideTasks));
    EXPECT_EQ(0, second.dialogsCreated);
    EXPECT_EQ(3, AlertCount);
    EXPECT_EQ(7, HideChoice);

    SetHideExtraState(HIDEEXTRA_RESTORE);
    ExpectUserFlags(1, 20, "after RESTORE");
    EXPECT_EQ(1, CountTrace("HideExtra: SAVE"));
    EXPECT_EQ(1, CountTrace("HideExtra: SETNO"));
    EXPECT_EQ(1, CountTrace("HideExtra: RESTORE"));
    // Memory only: nothing of the takeover reached the stored options.
    EXPECT_FALSE(RegHasValue(HKEY_CURRENT_USER, kOptionsKey, "ShowAlerts"));
    EXPECT_FALSE(RegHasValue(HKEY_CURRENT_USER, kOptionsKey, "HideTasks"));
}

TEST_F(AlertTest, AnAlertAnsweredDuringTheSuppressionDoesNotOverwriteTheSavedCopy)
{
    giSuppressExtraAlerts = 1;
    SetUserFlags(1, 40);
    DialogRun first;
    first.press = IDYES;
    EXPECT_EQ(6, RunProbedAlert(first, IDD_DELAYALERT, 0));
    EXPECT_EQ(3, AlertCount);
    EXPECT_EQ(6, HideChoice);
    ExpectTakenOver("after Yes");

    // The user re-enables alerts mid-suppression (as the companion's "Update" would);
    // the dialog shows and is answered No, but the suppression is already running.
    giShowAlerts = 1;
    AlertCount = 2;
    DialogRun second;
    second.press = IDNO;
    EXPECT_EQ(7, RunProbedAlert(second, IDD_DELAYALERT, 0));
    EXPECT_EQ(1, second.dialogsCreated);
    EXPECT_EQ(2, AlertCount);
    EXPECT_EQ(6, HideChoice);
    SetHideExtraState(HIDEEXTRA_RESTORE);
    ExpectUserFlags(1, 40, "after RESTORE");
}

TEST_F(AlertTest, SuppressionStartsOnlyWhenSwitchedOnAndAsked)
{
    const struct {
        int option, startSuppression, press, answer;
        bool starts;
    } rows[] = {
        {1, 1, IDYES, 6, true},  {1, 1, IDNO, 7, true},   {0, 1, IDNO, 7, false},
        {2, 1, IDNO, 7, false},  {1, 0, IDNO, 7, false},  {1, 1, 11, 11, false},   // disabled by the alert itself
    };
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); i++) {
        giSuppressExtraAlerts = rows[i].option;
        AlertCount = 0;
        HideChoice = ANSWER_ACCEPT;
        SetUserFlags(1, 60);
        DialogRun run;
        run.press = rows[i].press;
        EXPECT_EQ(rows[i].answer, RunProbedAlert(run, IDD_DELAYALERT, 0, rows[i].startSuppression)) << "row " << i;
        if (rows[i].starts) {
            EXPECT_EQ(3, AlertCount) << "row " << i;
            EXPECT_EQ(rows[i].answer, HideChoice) << "row " << i;
            ExpectTakenOver(("row " + std::to_string(i)).c_str());
        } else {
            EXPECT_EQ(0, AlertCount) << "row " << i;
            EXPECT_EQ(ANSWER_ACCEPT, HideChoice) << "row " << i;
            ExpectUserFlags(1, 60, ("row " + std::to_string(i)).c_str());
        }
    }
}

TEST_F(AlertTest, StartExtraAlertSuppressionFromEachCount)
{
    StartTraceLog();
    const struct {
        int countBefore, answer, countAfter, choiceAfter;
        bool takesOver;
        int lessThanZeroTraces;     // running total
    } rows[] = {
        {0, 6, 3, 6, true, 0},  {0, 7, 3, 7, true, 0},  {0, -1, 3, 7, true, 0},
        {-2, 6, 3, 6, true, 1}, {2, 7, 2, 6, false, 1}, {1, 6, 1, 6, false, 1},
    };
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); i++) {
        AlertCount = rows[i].countBefore;
        HideChoice = 6;
        SetUserFlags(1, 80);
        StartExtraAlertSuppression(rows[i].answer);
        EXPECT_EQ(rows[i].countAfter, AlertCount) << "row " << i;
        EXPECT_EQ(rows[i].choiceAfter, HideChoice) << "row " << i;
        if (rows[i].takesOver) {
            ExpectTakenOver(("row " + std::to_string(i)).c_str());
            SetHideExtraState(HIDEEXTRA_RESTORE);
        }
        ExpectUserFlags(1, 80, ("row " + std::to_string(i) + " restored").c_str());
        EXPECT_EQ(rows[i].lessThanZeroTraces, CountTrace("AlERTCOUNT: Less than zero")) << "row " << i;
    }
}

TEST_F(AlertTest, SetHideExtraStateModes)
{
    StartTraceLog();
    SetUserFlags(1, 100);
    SetHideExtraState(HIDEEXTRA_SAVE);
    SetUserFlags(0, 200);
    SetHideExtraState(HIDEEXTRA_RESTORE);
    ExpectUserFlags(1, 100, "RESTORE after SAVE");
    SetHideExtraState(HIDEEXTRA_SETYES);
    ExpectTakenOver("SETYES");
    SetUserFlags(1, 100);
    SetHideExtraState(HIDEEXTRA_SETNO);
    ExpectTakenOver("SETNO");
    // An unknown mode changes nothing.
    SetUserFlags(1, 300);
    SetHideExtraState(9);
    ExpectUserFlags(1, 300, "unknown mode");
    const char *const traced[] = {"HideExtra: SAVE", "HideExtra: RESTORE", "HideExtra: SETYES", "HideExtra: SETNO"};
    for (size_t i = 0; i < 4; i++)
        EXPECT_EQ(1, CountTrace(traced[i])) << "row " << i;
}

// ---- Placement ---------------------------------------------------------------

TEST_F(AlertTest, TheFirstAlertOpensTopRightSeeThroughAndTheNextWhereItWasLeft)
{
    giSuppressExtraAlerts = 0;
    giShowAlerts = 1;
    DialogRun first;
    EXPECT_EQ(IDYES, RunProbedAlert(first, IDD_DELAYALERT, 0));
    ASSERT_TRUE(first.probed);
    int width = first.rect.right - first.rect.left;
    EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN) - width, first.rect.left);
    EXPECT_EQ(0, first.rect.top);
    EXPECT_TRUE(first.exStyle & WS_EX_LAYERED);
    // Closing saved where it was.
    EXPECT_EQ(first.rect.left, IntText(RegText(HKEY_CURRENT_USER, kPositionKey, "xPosAlert")));
    EXPECT_EQ(first.rect.top, IntText(RegText(HKEY_CURRENT_USER, kPositionKey, "yPosAlert")));
    EXPECT_EQ(width, IntText(RegText(HKEY_CURRENT_USER, kPositionKey, "dxAlert")));
    EXPECT_EQ(first.rect.bottom - first.rect.top, IntText(RegText(HKEY_CURRENT_USER, kPositionKey, "dyAlert")));

    // The user moves it; the next alert opens there, fully opaque.
    RegPut(HKEY_CURRENT_USER, kPositionKey, "xPosAlert", "123");
    RegPut(HKEY_CURRENT_USER, kPositionKey, "yPosAlert", "77");
    DialogRun second;
    EXPECT_EQ(IDYES, RunProbedAlert(second, IDD_DELAYALERT, 0));
    ASSERT_TRUE(second.probed);
    EXPECT_EQ(123, second.rect.left);
    EXPECT_EQ(77, second.rect.top);
    EXPECT_FALSE(second.exStyle & WS_EX_LAYERED);
}

TEST_F(AlertTest, PlaceAlertReadsItsFamilyAndPullsStrayPositionsBack)
{
    const int xv = GetSystemMetrics(SM_XVIRTUALSCREEN), yv = GetSystemMetrics(SM_YVIRTUALSCREEN);
    const int cxv = GetSystemMetrics(SM_CXVIRTUALSCREEN), cyv = GetSystemMetrics(SM_CYVIRTUALSCREEN);
    const std::string cxvText = std::to_string(cxv), cyvText = std::to_string(cyv);
    const int TOP_RIGHT = -99999;
    const struct {
        int family;
        const char *xName, *yName;      // where the test stores the position
        const char *x, *y;              // NULL: not stored
        int wantX, wantY;               // TOP_RIGHT: the first-alert corner, layered
    } rows[] = {
        {FAMILY_ALERT, "xPosAlert", "yPosAlert", NULL, NULL, TOP_RIGHT, 0},
        {FAMILY_ALERT, "xPosAlert", "yPosAlert", "100", "50", 100, 50},
        {FAMILY_ALERT, "xPosAlert", "yPosAlert", "99999", "-5", xv, yv},
        {FAMILY_ALERT, "xPosAlert", "yPosAlert", "-1", "99999", xv, yv},
        {FAMILY_ALERT, "xPosAlert", "yPosAlert", "250", "-5", 250, yv},
        {FAMILY_ALERT, "xPosAlert", "yPosAlert", cxvText.c_str(), cyvText.c_str(), cxv, cyv},
        {FAMILY_ALERT, "xPosAlert", "yPosAlert", "", "30", TOP_RIGHT, 0},
        {FAMILY_ALERT, "xPosAlert", "yPosAlert", "120", NULL, TOP_RIGHT, 0},
        {FAMILY_ALERT, "xPosAlert", "yPosAlert", "abc", "40", 0, 40},
        {FAMILY_SYSFILES, "xPosSysFiles", "yPosSysFiles", "210", "90", 210, 90},
        {FAMILY_SYSFILES, "xPosAlert", "yPosAlert", "210", "90", TOP_RIGHT, 0},
        {FAMILY_DEFAULTWARNING, "xDefaultWarning", "yDefaultWarning", "33", "44", 33, 44},
        {FAMILY_DEFAULTWARNING, "xPosSysFiles", "yPosSysFiles", "33", "44", TOP_RIGHT, 0},
    };
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); i++) {
        RegDeleteTreeView(HKEY_CURRENT_USER, kPositionKey);
        PutOption("Update", "0");
        PutOption("StartTab", "5");
        if (rows[i].x)
            RegPut(HKEY_CURRENT_USER, kPositionKey, rows[i].xName, rows[i].x);
        if (rows[i].y)
            RegPut(HKEY_CURRENT_USER, kPositionKey, rows[i].yName, rows[i].y);
        DialogRun run;
        run.family = rows[i].family;
        HWND dialog = OpenModeless(rows[i].family == FAMILY_DEFAULTWARNING ? IDD_MISSINGNOTICE : IDD_DELAYALERT, run);
        ASSERT_NE(nullptr, dialog) << "row " << i;
        WindowRect r = RectOf(dialog);
        LONG exStyle = GetWindowLongA(dialog, GWL_EXSTYLE);
        if (rows[i].wantX == TOP_RIGHT) {
            EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN) - r.w, r.x) << "row " << i;
            EXPECT_EQ(0, r.y) << "row " << i;
            EXPECT_TRUE(exStyle & WS_EX_LAYERED) << "row " << i;
            BYTE alpha = 0;
            DWORD flags = 0;
            EXPECT_TRUE(GetLayeredWindowAttributes(dialog, NULL, &alpha, &flags)) << "row " << i;
            EXPECT_EQ(242, alpha) << "row " << i;
            EXPECT_TRUE(flags & LWA_ALPHA) << "row " << i;
        } else {
            EXPECT_EQ(rows[i].wantX, r.x) << "row " << i;
            EXPECT_EQ(rows[i].wantY, r.y) << "row " << i;
            EXPECT_FALSE(exStyle & WS_EX_LAYERED) << "row " << i;
        }
        EXPECT_EQ("0", RegText(HKEY_CURRENT_USER, kOptionsKey, "StartTab")) << "row " << i;
        EXPECT_EQ("1", RegText(HKEY_CURRENT_USER, kOptionsKey, "Update")) << "row " << i;
        DestroyWindow(dialog);
    }
}

TEST_F(AlertTest, SaveAlertPositionWritesOnlyItsFamily)
{
    const char *const names[3][4] = {
        {"xPosAlert", "yPosAlert", "dxAlert", "dyAlert"},
        {"xPosSysFiles", "yPosSysFiles", "dxSysFiles", "dySysFiles"},
        {"xDefaultWarning", "yDefaultWarning", "dxDefaultWarning", "dyDefaultWarning"},
    };
    const int families[3] = {FAMILY_ALERT, FAMILY_SYSFILES, FAMILY_DEFAULTWARNING};
    for (int row = 0; row < 3; row++) {
        RegDeleteTreeView(HKEY_CURRENT_USER, kPositionKey);
        DialogRun run;
        run.family = families[row];
        RegPut(HKEY_CURRENT_USER, kPositionKey, names[row][0], "10");
        RegPut(HKEY_CURRENT_USER, kPositionKey, names[row][1], "10");
        HWND dialog = OpenModeless(IDD_DELAYALERT, run);
        ASSERT_NE(nullptr, dialog) << "row " << row;
        // Moved by the user, as far as the window knows.
        SetWindowPos(dialog, NULL, 37 + row, 61 + row, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        WindowRect r = RectOf(dialog);
        PutOption("Update", "0");
        PutOption("StartTab", "4");
        SaveAlertPosition(dialog, families[row]);
        EXPECT_EQ(std::to_string(37 + row), RegText(HKEY_CURRENT_USER, kPositionKey, names[row][0])) << "row " << row;
        EXPECT_EQ(std::to_string(61 + row), RegText(HKEY_CURRENT_USER, kPositionKey, names[row][1])) << "row " << row;
        EXPECT_EQ(std::to_string(r.w), RegText(HKEY_CURRENT_USER, kPositionKey, names[row][2])) << "row " << row;
        EXPECT_EQ(std::to_string(r.h), RegText(HKEY_CURRENT_USER, kPositionKey, names[row][3])) << "row " << row;
        EXPECT_EQ("0", RegText(HKEY_CURRENT_USER, kOptionsKey, "StartTab")) << "row " << row;
        EXPECT_EQ("1", RegText(HKEY_CURRENT_USER, kOptionsKey, "Update")) << "row " << row;
        for (int other = 0; other < 3; other++) {
            if (other == row)
                continue;
            for (int v = 0; v < 4; v++)
                EXPECT_FALSE(RegHasValue(HKEY_CURRENT_USER, kPositionKey, names[other][v]))
                    << "row " << row << " wrote " << names[other][v];
        }
        DestroyWindow(dialog);
    }
}

// ---- Sound -------------------------------------------------------------------

TEST_F(AlertTest, SoundKeysFollowTheEventTable)
{
    const char *const events[] = {
        "Open", "Startup Alert", "Cookie Alert", "Task Alert", "IE Helper Alert", "File Type Alert",
        "SystemFile Alert", "Hidden Alert", "Open", "Open", "Open", "Service Alert", "RegOptions Alert",
        "ActiveX Alert", "Quick Scan Alert",
    };
    for (int n = -1; n <= 15; n++) {
        const char *event = (n >= 0 && n <= 14) ? events[n] : "Open";
        std::string want = std::string("AppEvents\\Schemes\\Apps\\Brackmoor\\") + event + "\\.current";
        char key[MAX_PATH];
        EXPECT_EQ((int)want.size(), GetAlertSoundKey(n, key, sizeof(key))) << "number " << n;
        EXPECT_EQ(want, key) << "number " << n;
    }
    char tiny[8];
    EXPECT_EQ(0, GetAlertSoundKey(1, tiny, sizeof(tiny)));
}

TEST_F(AlertTest, SoundPlaysOnlyWhenSwitchedOn)
{
    // One event with a file of its own (missing: the system falls back), one without.
    RegPut(HKEY_CURRENT_USER, "AppEvents\\Schemes\\Apps\\Brackmoor\\Startup Alert\\.current", "",
           (TempFolder() + "\\no-such-sound.wav").c_str());
    RegPut(HKEY_CURRENT_USER, "AppEvents\\Schemes\\Apps\\Brackmoor\\Task Alert\\.current", "", "");
    const struct { int option, number, entries; } rows[] = {
        {0, SOUND_STARTUP, 0}, {-1, SOUND_TASK, 0}, {1, SOUND_STARTUP, 1}, {1, SOUND_TASK, 1},
        {2, SOUND_QUICKSCAN, 1}, {1, 99, 1},
    };
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); i++) {
        StartTraceLog();
        DeleteFileA(TestLogPath);
        giSound = rows[i].option;
        PlayAlertSound(rows[i].number);
        EXPECT_EQ(rows[i].entries, CountTrace("PlaySound: *")) << "row " << i;
    }
    PlaySoundA(NULL, NULL, 0);
    RegDeleteTreeView(HKEY_CURRENT_USER, "AppEvents\\Schemes\\Apps\\Brackmoor");
}

// ---- Tooltips ----------------------------------------------------------------

namespace {
struct OwnedTips {
    HWND owner;
    std::vector<HWND> tips;
};
BOOL CALLBACK CollectOwnedTip(HWND window, LPARAM lParam)
{
    OwnedTips *found = (OwnedTips *)lParam;
    char name[64] = "";
    GetClassNameA(window, name, sizeof(name));
    if (lstrcmpiA(name, "tooltips_class32") == 0 && GetWindow(window, GW_OWNER) == found->owner)
        found->tips.push_back(window);
    return TRUE;
}
std::vector<HWND> TipsOwnedBy(HWND dialog)
{
    OwnedTips found = {dialog, {}};
    EnumThreadWindows(GetCurrentThreadId(), CollectOwnedTip, (LPARAM)&found);
    return found.tips;
}
}  // namespace

TEST_F(AlertTest, ToolTipsFollowTheOption)
{
    char expected[512] = "";
    LoadStringA(hInstance, 719, expected, sizeof(expected));
    ASSERT_STRNE("", expected);
    const struct { int option; int tips; bool balloon; } rows[] = {
        {0, 0, false}, {-1, 0, false}, {1, 1, false}, {2, 1, true}, {3, 1, false}, {7, 1, false},
    };
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); i++) {
        giToolTips = rows[i].option;
        DialogRun run;
        HWND dialog = OpenModeless(IDD_DELAYALERT, run);
        ASSERT_NE(nullptr, dialog) << "row " << i;
        AddToolTip(dialog, IDYES, 719);
        std::vector<HWND> tips = TipsOwnedBy(dialog);
        ASSERT_EQ((size_t)rows[i].tips, tips.size()) << "row " << i;
        if (!tips.empty()) {
            HWND tip = tips[0];
            DWORD style = (DWORD)GetWindowLongA(tip, GWL_STYLE);
            EXPECT_EQ(rows[i].balloon, (style & TTS_BALLOON) != 0) << "row " << i;
            EXPECT_TRUE(style & TTS_ALWAYSTIP) << "row " << i;
            EXPECT_EQ(1, (int)SendMessageA(tip, TTM_GETTOOLCOUNT, 0, 0)) << "row " << i;
            char text[512] = "";
            TOOLINFOA tool = {};
            tool.cbSize = TTTOOLINFOA_V2_SIZE;
            tool.hwnd = dialog;
            tool.uId = (UINT_PTR)GetDlgItem(dialog, IDYES);
            tool.lpszText = text;
            SendMessageA(tip, TTM_GETTEXTA, sizeof(text), (LPARAM)&tool);
            EXPECT_STREQ(expected, text) << "row " << i;
            EXPECT_EQ(0xCCFFFFu, (DWORD)SendMessageA(tip, TTM_GETTIPBKCOLOR, 0, 0)) << "row " << i;
            EXPECT_EQ(0x990000u, (DWORD)SendMessageA(tip, TTM_GETTIPTEXTCOLOR, 0, 0)) << "row " << i;
            EXPECT_EQ(360, (int)SendMessageA(tip, TTM_GETMAXTIPWIDTH, 0, 0)) << "row " << i;
            EXPECT_EQ(20000, (int)SendMessageA(tip, TTM_GETDELAYTIME, TTDT_AUTOPOP, 0)) << "row " << i;
            RECT margin = {};
            SendMessageA(tip, TTM_GETMARGIN, 0, (LPARAM)&margin);
            EXPECT_EQ(15, margin.left) << "row " << i;
            EXPECT_EQ(15, margin.top) << "row " << i;
            EXPECT_EQ(15, margin.right) << "row " << i;
            EXPECT_EQ(15, margin.bottom) << "row " << i;
        }
        DestroyWindow(dialog);
        // Owned by the dialog: gone with it.
        for (HWND tip : tips)
            EXPECT_FALSE(IsWindow(tip)) << "row " << i;
    }
}

TEST_F(AlertTest, ToolTipsNeedTheDialogAndTheControl)
{
    giToolTips = 1;
    DialogRun run;
    HWND dialog = OpenModeless(IDD_DELAYALERT, run);
    ASSERT_NE(nullptr, dialog);
    AddToolTip(dialog, 9999, 719);
    EXPECT_TRUE(TipsOwnedBy(dialog).empty());
    AddToolTip(NULL, IDYES, 719);
    EXPECT_TRUE(TipsOwnedBy(NULL).empty());
    DestroyWindow(dialog);
}

// ---- WM_INITDIALOG helpers -----------------------------------------------------

TEST_F(AlertTest, PathFontDependsOnTheLength)
{
    DialogRun run;
    HWND dialog = OpenModeless(IDD_DELAYALERT, run);
    ASSERT_NE(nullptr, dialog);
    const size_t lengths[] = {0, 10, 80, 81, 200};
    for (size_t i = 0; i < sizeof(lengths) / sizeof(lengths[0]); i++) {
        std::string path = "C:\\" + std::string(lengths[i] > 3 ? lengths[i] - 3 : 0, 'p');
        path.resize(lengths[i]);
        SetAlertPathControl(dialog, IDC_PATH, path.c_str());
        HFONT font = (HFONT)SendDlgItemMessageA(dialog, IDC_PATH, WM_GETFONT, 0, 0);
        EXPECT_EQ(lengths[i] > 80 ? ghFont12Semibold : ghFont14Semibold, font) << "row " << i;
        char shown[512] = "";
        GetDlgItemTextA(dialog, IDC_PATH, shown, sizeof(shown));
        EXPECT_EQ(path, shown) << "row " << i;
    }
    SetAlertHeadingControl(dialog, IDC_MESSAGE, "Heading");
    EXPECT_EQ(ghFont18Medium, (HFONT)SendDlgItemMessageA(dialog, IDC_MESSAGE, WM_GETFONT, 0, 0));
    DestroyWindow(dialog);
}

TEST_F(AlertTest, TheProgramIconShowsWhenTheFileExistsAndGoesWithTheDialog)
{
    char own[MAX_PATH];
    GetModuleFileNameA(NULL, own, sizeof(own));
    std::string text = TempFolder() + "\\readme.txt";
    WriteWholeFile(text, "no icons in here");
    const struct { std::string path; bool icon; } rows[] = {
        {own, true}, {TempFolder() + "\\missing.exe", false}, {text, false}, {"", false},
    };
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); i++) {
        DialogRun run;
        HWND dialog = OpenModeless(IDD_DELAYALERT, run);
        ASSERT_NE(nullptr, dialog) << "row " << i;
        SetAlertProgramIcon(dialog, IDC_PROGICON, rows[i].path.c_str());
        HICON icon = (HICON)SendDlgItemMessageA(dialog, IDC_PROGICON, BM_GETIMAGE, IMAGE_ICON, 0);
        EXPECT_EQ(rows[i].icon, icon != NULL) << "row " << i;
        if (icon) {
            ICONINFO info = {};
            ASSERT_TRUE(GetIconInfo(icon, &info)) << "row " << i;
            if (info.hbmColor)
                DeleteObject(info.hbmColor);
            if (info.hbmMask)
                DeleteObject(info.hbmMask);
            // A second icon replaces the first, which is destroyed, not leaked.
            SetAlertProgramIcon(dialog, IDC_PROGICON, own);
            HICON second = (HICON)SendDlgItemMessageA(dialog, IDC_PROGICON, BM_GETIMAGE, IMAGE_ICON, 0);
            EXPECT_NE(nullptr, second) << "row " << i;
            EXPECT_FALSE(GetIconInfo(icon, &info)) << "row " << i << ": first icon still alive";
            icon = second;
        }
        DestroyWindow(dialog);
        if (icon) {
            ICONINFO info = {};
            EXPECT_FALSE(GetIconInfo(icon, &info)) << "row " << i << ": icon outlived the dialog";
        }
    }
}

TEST_F(AlertTest, HelpPageIsTheAlertsWhileOpenAndTheInfoButtonLeavesTheTopmostBand)
{
    giHelpPageId = 6026;
    DialogRun quiet;
    quiet.helpPage = 0;     // the delayed-start alert sets none
    HWND dialog = OpenModeless(IDD_DELAYALERT, quiet);
    ASSERT_NE(nullptr, dialog);
    EXPECT_EQ(6026, giHelpPageId);
    DestroyWindow(dialog);
    EXPECT_EQ(0, giHelpPageId);

    DialogRun run;
    dialog = OpenModeless(IDD_DELAYALERT, run);
    ASSERT_NE(nullptr, dialog);
    EXPECT_EQ(ALERT_HELP_PAGE, giHelpPageId);
    ShowWindow(dialog, SW_SHOWNOACTIVATE);
    EXPECT_TRUE(GetWindowLongA(dialog, GWL_EXSTYLE) & WS_EX_TOPMOST);
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDC_INFO, BN_CLICKED), (LPARAM)GetDlgItem(dialog, IDC_INFO));
    EXPECT_FALSE(GetWindowLongA(dialog, GWL_EXSTYLE) & WS_EX_TOPMOST);
    EXPECT_TRUE(IsWindow(dialog));
    DestroyWindow(dialog);
    EXPECT_EQ(0, giHelpPageId);
}

// ---- Owner-drawn text buttons ----------------------------------------------------

namespace {
// A white 32-bit canvas the drawing goes to, read back pixel by pixel.
struct Canvas {
    HDC dc = NULL;
    HBITMAP bitmap = NULL;
    HGDIOBJ old = NULL;
    DWORD *bits = nullptr;
    int w = 0, h = 0;
    Canvas(int width, int height) : w(width), h(height)
    {
        BITMAPINFO bi = {};
        bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
        bi.bmiHeader.biWidth = w;
        bi.bmiHeader.biHeight = -h;
        bi.bmiHeader.biPlanes = 1;
        bi.bmiHeader.biBitCount = 32;
        bi.bmiHeader.biCompression = BI_RGB;
        dc = CreateCompatibleDC(NULL);
        bitmap = CreateDIBSection(dc, &bi, DIB_RGB_COLORS, (void **)&bits, NULL, 0);
        old = SelectObject(dc, bitmap);
        Clear();
    }
    ~Canvas()
    {
        SelectObject(dc, old);
        DeleteObject(bitmap);
        DeleteDC(dc);
    }
    void Clear()
    {
        GdiFlush();
        memset(bits, 0xFF, (size_t)w * h * 4);
    }
    int Count(COLORREF colour) const
    {
        GdiFlush();
        // DIB pixels are 0x00RRGGBB; COLORREF is 0x00BBGGRR.
        DWORD want = (GetRValue(colour) << 16) | (GetGValue(colour) << 8) | GetBValue(colour);
        int n = 0;
        for (int i = 0; i < w * h; i++)
            if ((bits[i] & 0xFFFFFF) == want)
                n++;
        return n;
    }
    int NotWhite() const
    {
        GdiFlush();
        int n = 0;
        for (int i = 0; i < w * h; i++)
            if ((bits[i] & 0xFFFFFF) != 0xFFFFFF)
                n++;
        return n;
    }
};

LRESULT SendDrawItem(HWND dialog, int id, Canvas &canvas, UINT type = ODT_BUTTON, UINT action = ODA_DRAWENTIRE)
{
    DRAWITEMSTRUCT item = {};
    item.CtlType = type;
    item.CtlID = id;
    item.itemAction = action;
    item.hwndItem = GetDlgItem(dialog, id);
    item.hDC = canvas.dc;
    item.rcItem = {0, 0, canvas.w, canvas.h};
    return SendMessageA(dialog, WM_DRAWITEM, id, (LPARAM)&item);
}

LPARAM CentreOf(HWND dialog, int id)
{
    RECT r;
    GetWindowRect(GetDlgItem(dialog, id), &r);
    POINT pt = {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    ScreenToClient(dialog, &pt);
    return MAKELPARAM(pt.x, pt.y);
}

const int kTextButtons[] = {IDC_DISABLE, IDC_LOCATION, IDC_PROPERTIES, IDC_ABORT};
}  // namespace

TEST_F(AlertTest, MakeTextButtonsMakesOnlyTheGivenButtonsOwnerDrawn)
{
    DialogRun run;
    HWND dialog = OpenModeless(IDD_NEWPROG, run);
    ASSERT_NE(nullptr, dialog);
    MakeTextButtons(dialog, kTextButtons, 4);
    const struct { int id; bool ownerDrawn; } rows[] = {
        {IDC_DISABLE, true}, {IDC_LOCATION, true}, {IDC_PROPERTIES, true}, {IDC_ABORT, true},
        {IDYES, false},      {IDNO, false},        {IDC_INFO, false},      {IDC_CHECK, false},
    };
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); i++) {
        LONG style = GetWindowLongA(GetDlgItem(dialog, rows[i].id), GWL_STYLE);
        EXPECT_EQ(rows[i].ownerDrawn, (style & BS_TYPEMASK) == BS_OWNERDRAW) << "row " << i << " id " << rows[i].id;
        EXPECT_TRUE(style & WS_VISIBLE) << "row " << i;
    }
    DestroyWindow(dialog);
}

TEST_F(AlertTest, TextButtonsDrawInTheCurrentColourAndReportTheMessageHandled)
{
    DialogRun run;
    HWND dialog = OpenModeless(IDD_NEWPROG, run);
    ASSERT_NE(nullptr, dialog);
    MakeTextButtons(dialog, kTextButtons, 4);
    Canvas canvas(120, 24);

    // Plain drawing: normal colour, handled.
    EXPECT_EQ(TRUE, SendDrawItem(dialog, IDC_DISABLE, canvas));
    EXPECT_GT(canvas.Count(kNormal), 0);
    EXPECT_EQ(0, canvas.Count(kHover));
    EXPECT_EQ(0, canvas.Count(kShadow));

    // Only whole drawings of buttons are ours.
    canvas.Clear();
    EXPECT_EQ(0, SendDrawItem(dialog, IDC_DISABLE, canvas, ODT_BUTTON, ODA_FOCUS));
    EXPECT_EQ(0, SendDrawItem(dialog, IDC_DISABLE, canvas, ODT_STATIC, ODA_DRAWENTIRE));
    EXPECT_EQ(0, canvas.NotWhite());

    // The mouse over a text button: the next drawing is hot, the one after it normal.
    SendMessageA(dialog, WM_MOUSEMOVE, 0, CentreOf(dialog, IDC_LOCATION));
    canvas.Clear();
    EXPECT_EQ(TRUE, SendDrawItem(dialog, IDC_LOCATION, canvas));
    EXPECT_GT(canvas.Count(kHover), 0);
    EXPECT_EQ(0, canvas.Count(kNormal));
    canvas.Clear();
    SendDrawItem(dialog, IDC_LOCATION, canvas);
    EXPECT_GT(canvas.Count(kNormal), 0);
    EXPECT_EQ(0, canvas.Count(kHover));

    // Hot, then the mouse leaves for a button that draws itself: normal again.
    SendMessageA(dialog, WM_MOUSEMOVE, 0, CentreOf(dialog, IDC_ABORT));
    SendMessageA(dialog, WM_MOUSEMOVE, 0, CentreOf(dialog, IDYES));
    canvas.Clear();
    SendDrawItem(dialog, IDC_ABORT, canvas);
    EXPECT_GT(canvas.Count(kNormal), 0);
    EXPECT_EQ(0, canvas.Count(kHover));

    // A button's own mouse moves reach the dialog as WM_SETCURSOR.
    SendMessageA(dialog, WM_SETCURSOR, (WPARAM)GetDlgItem(dialog, IDC_PROPERTIES), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    canvas.Clear();
    SendDrawItem(dialog, IDC_PROPERTIES, canvas);
    EXPECT_GT(canvas.Count(kHover), 0);

    // Two-line captions: a light shadow under the text.
    SetDlgItemTextA(dialog, IDC_LOCATION, "Open\nFolder");
    canvas.Clear();
    EXPECT_EQ(TRUE, SendDrawItem(dialog, IDC_LOCATION, canvas));
    EXPECT_GT(canvas.Count(kShadow), 0);
    EXPECT_GT(canvas.Count(kNormal), 0);
    DestroyWindow(dialog);
}
