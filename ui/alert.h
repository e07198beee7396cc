// The conventions every alert follows: placement, sound, tooltips, owner-drawn
// text buttons, the decision without a dialog while alerts are hidden, and the
// extra-alert suppression that lets one answer stand for the next scans.
#pragma once
#include <windows.h>
#include <stddef.h>

#define ANSWER_ACCEPT 6         // IDYES
#define ANSWER_REJECT 7         // IDNO
#define ANSWER_DISABLE 11       // the startup alert removed (disabled) the entry itself

#define ALERT_HELP_PAGE 6067    // "alert.html": the tray's help page while an alert is open
#define ALERT_ABORT_PAGE 6066   // "abort.html": what stopping the monitor from an alert means

extern int bMsgOpen;            // 1 while an alert is open
extern int AlertCount;          // scans the suppression still runs; 0 when not suppressing
extern int RemovalQuietScans;   // set to 8 when an alert removed its entry; counts down per pass
extern int HideChoice;          // the answer that started the suppression: 6 or 7
// The same program alerted again and again (startup and browser helper alerts):
// the count of repeats in a row and the path alerted last.
extern int giRepeatAlertCount;
extern char gszLastAlertPath[MAX_PATH];
// Counts an alert of this program: one more repeat when it was the last one alerted.
void CountAlertRepeat(const char *path);
#define HELP_PAGE_HELPME 6051       // "helpme.html": why a program keeps coming back
// The companion's first page ("StartTab"), written with every alert position; the
// monitor itself never changes it from 0.
extern int giStartTab;

// Position families: the four values under the program's key that each keeps.
enum { FAMILY_ALERT = 0, FAMILY_SYSFILES = 1, FAMILY_DEFAULTWARNING = 2 };

// Sound numbers and their events.
enum {
    SOUND_OPEN = 0, SOUND_STARTUP = 1, SOUND_COOKIE = 2, SOUND_TASK = 3, SOUND_IEHELPER = 4,
    SOUND_FILETYPE = 5, SOUND_SYSTEMFILE = 6, SOUND_HIDDEN = 7, SOUND_SERVICE = 11,
    SOUND_REGOPTIONS = 12, SOUND_ACTIVEX = 13, SOUND_QUICKSCAN = 14
};

enum { HIDEEXTRA_RESTORE = 0, HIDEEXTRA_SETYES = 1, HIDEEXTRA_SETNO = 2, HIDEEXTRA_SAVE = 3 };

// Plays the event's sound file, or the built-in sound 170 when the user set none;
// nothing while the option "Sound" is 0 or below.
void PlayAlertSound(int number);
// The HKCU key whose default value names the sound file of a sound number
// ("AppEvents\Schemes\Apps\Brackmoor\<event>\.current"). Numbers outside the
// table use the "Open" event. Returns the length, 0 when it did not fit.
int GetAlertSoundKey(int number, char *out, size_t cap);

// "ToolTips" 1 plain tips, 2 balloons, 0 (or below) none; values above 2 give
// plain tips, so an unknown setting of a newer companion still shows help.
void AddToolTip(HWND dialog, int controlId, UINT stringId);
void PlaceAlert(HWND dialog, int family);
// The top right corner of the primary screen, layered with the constant alpha.
void PlaceAlertTopRight(HWND dialog, BYTE alpha);
void SaveAlertPosition(HWND dialog, int family);
void SetHideExtraState(int mode);
void StartExtraAlertSuppression(int answer);

// The alert sequence for one finding: busy tray state with the watcher's tip, bMsgOpen,
// the decision without a dialog when "ShowAlerts" is 0 and the type's hide flag is set
// (1 accepts, anything else rejects), else the modal dialog with param as its lParam;
// then the idle tray state, and the suppression started from the answer when
// "SuppressExtraAlerts" is 1 and startSuppression is set. The answer 11 (the startup
// alert disabled the entry itself) never starts it. Returns the answer (-1 when the
// dialog could not be made).
int RunAlert(int templateId, DLGPROC procedure, LPARAM param, int hideFlag, int tipId, int startSuppression);

// Owner-drawn text buttons: made owner-drawn at WM_INITDIALOG, drawn without a face,
// highlighted under the mouse. AlertButtonMessage handles WM_DRAWITEM and the mouse
// moves for the dialog; it returns TRUE when it handled the message (and then has
// set the dialog's message result, so the sender of WM_DRAWITEM sees TRUE too).
void MakeTextButtons(HWND dialog, const int *ids, int count);
BOOL AlertButtonMessage(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
// No text button is hot any more (MakeTextButtons, BeginAlertDialog and
// ReleaseAlertDialog call it).
void ClearHotTextButton(HWND dialog);

// The data a dialog is about (its lParam), kept in DWLP_USER. A dialog opened without
// any gets empty (size bytes, cleared first), so that it still shows and answers.
void *KeepAlertData(HWND dialog, LPARAM param, void *empty, size_t size);
void *AlertDataOf(HWND dialog);

// The item a watcher's alert is about: its name and path as the dialog shows them
// and its category code. The dialog gets it as its lParam (kept in DWLP_USER) and
// clears the texts when it is answered; the step works from its own copy.
typedef struct AlertItem {
    char name[MAX_PATH];
    char path[MAX_PATH];
    int code;
} AlertItem;
// The item of a dialog that stored it with SetAlertItem (an empty one when it was
// opened without).
AlertItem *SetAlertItem(HWND dialog, LPARAM param);
AlertItem *AlertItemOf(HWND dialog);
// The answer taken: the item's texts cleared and the dialog ended with answer.
void AnswerAlertItem(HWND dialog, int answer);

// The procedure every alert dialog shares: the text buttons' drawing and hover,
// WM_INITDIALOG handed to init with its lParam, WM_COMMAND to command with the
// control id and notification, WM_DESTROY releasing the alert of the family.
typedef BOOL (*AlertInitProc)(HWND dialog, LPARAM param);
typedef BOOL (*AlertCommandProc)(HWND dialog, int id, int notification);
INT_PTR AlertDialogMessage(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam, AlertInitProc init,
                           AlertCommandProc command, int family);

// An answer or tool button of an alert: its text and its tooltip (0: the template's
// text, no tooltip).
typedef struct AlertButton {
    int id;
    UINT text;
    UINT tip;
} AlertButton;
// The buttons' texts, the textButtons made owner-drawn text buttons, then the tooltips.
void SetAlertButtons(HWND dialog, const AlertButton *buttons, int count, const int *textButtons, int textCount);
#define ALERT_COUNT(table) ((int)(sizeof(table) / sizeof((table)[0])))

// The one door to the browser for the alerts' help, exit and repeat pages:
// OpenHelpPage unless a test put a recorder here.
typedef void (*AlertHelpOpenerProc)(int pageId);
extern AlertHelpOpenerProc AlertHelpOpener;

// WM_INITDIALOG helpers, so that each alert adds only its own texts and answers.
// BeginAlertDialog first: it sets the tray's help page (0 leaves it alone, for the
// delayed-start alert) and clears the hot text button.
void BeginAlertDialog(HWND dialog, int helpPageId);
// The path text in the shared 12-point semibold font when it is longer than 80
// characters, else in the 14-point semibold one. Where the template has the
// signature line that belongs to the path control, it tells whether the program
// of the path (a command line is taken apart) is signed, and by whom.
void SetAlertPathControl(HWND dialog, int id, const char *path);
// The signature line of a path control (0 for none).
int AlertSignatureControl(int pathId);
// The line itself, for an alert that fills its path control in its own way: whether
// the command line's program is signed, and by whom. Nothing when the template has
// no such control.
void SetAlertSignatureLine(HWND dialog, int lineId, const char *commandLine);
// The alert's caption: string 718 followed by " - " and the string partId names
// (string 718 alone when that one is empty).
void SetAlertCaption(HWND dialog, UINT partId);
// A control's text from the string table (left as the template has it when the
// string is empty).
void SetAlertText(HWND dialog, int id, UINT stringId);
// The program block the alerts share: product name (in the name font), version
// with its label (both hidden without a version), company and description (the
// template's own words stay where the file says nothing). version may be NULL.
struct VersionRecord;
void SetAlertProgramBlock(HWND dialog, const char *productName, const struct VersionRecord *version);
// The version label of string 644 and the legal notice under the program block
// (the template's own words stay where the file has none; version may be NULL).
void SetAlertLegalNotice(HWND dialog, const struct VersionRecord *version);
// The heading text in the shared 18-point medium font.
void SetAlertHeadingControl(HWND dialog, int id, const char *text);
// The program's own first icon on the icon button when the file exists; the dialog
// keeps the icon until ReleaseAlertDialog destroys it.
void SetAlertProgramIcon(HWND dialog, int buttonId, const char *path);
// The tail of the Info button: the dialog leaves the topmost band so that the
// browser showing the information can come in front of it.
void SetAlertNotTopmost(HWND dialog);
// The Properties button: the shell's property sheet of the file, when it exists
// (the shell would show an error box of its own for one that is not there).
void ShowAlertFileProperties(HWND dialog, const char *file);
// The Exit button of the alerts: the help page that says what stopping the monitor
// means ("abort.html"), and the main window told to shut down; the dialog's loop
// ends with the rest.
void AlertExitMonitor(void);
// WM_DESTROY: saves the position of the family, destroys the program icon, drops the
// dialog's helper state and puts the tray's help page back to the general one.
void ReleaseAlertDialog(HWND dialog, int family);
