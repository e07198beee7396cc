// Online file information: the request address for the vendor's information
// server, built from what the system knows of a file, and opened in the user's
// browser. Nothing is downloaded here; the browser shows the server's page.
#pragma once
#include <windows.h>
#include <stddef.h>

// The whole address is at most 1023 characters: the buffer with its terminator.
#define KEEL_ADDRESS_MAX 1024
#define KEEL_SERVER_MAX 256
// The server is configuration: HKCU BRACKMOOR_KEY, REG_SZ "KeelServer", an
// "http://" or "https://" address without a path. The default is a reserved
// name that answers nothing; every deployment sets its real host.
#define KEEL_SERVER_VALUE "KeelServer"
#define KEEL_DEFAULT_SERVER "https://keel.dunmere.example"
#define KEEL_SHORT_PATH "/cgi-bin/keelinfo.pl"
#define KEEL_EXTENDED_PATH "/cgi-bin/keelinfo12.pl"
#define KEEL_SHORTCUT_NAME "temp.url"
// The type code of the lookups from the startup alerts: the startup category
// (70) + 1000, the code whose detection records are the startup ones.
#define KEEL_CODE_STARTUP 1070
// Type codes of the command-line lookups (".exe" and ".dll" file names).
#define KEEL_CODE_EXE 460
#define KEEL_CODE_DLL 470

// Opens a target the way ShellExecuteA "open" does and answers like it: above
// 32 is success. shortcut is 1 when the target is the internet shortcut file,
// 0 when it is the address itself.
typedef INT_PTR (*KeelOpenerProc)(const char *target, int shortcut);
// Runs a browser command line the way WinExec does: above 31 is success.
typedef UINT (*KeelStarterProc)(const char *commandLine);
// The two doors to the outside, replaceable so that the addresses can be
// checked without a browser. Defaults: the shell's "open" and WinExec.
extern KeelOpenerProc KeelOpener;
extern KeelStarterProc KeelBrowserStarter;
INT_PTR KeelOpenWithShell(const char *target, int shortcut);
UINT KeelStartWithWinExec(const char *commandLine);

// The configured server without a trailing "/", or the default; its length.
int GetKeelServer(char *out, size_t cap);

// Builds the whole request address into out (cut to 1023 characters, never in
// the middle of an escape). itemName is the alerted item's name, the "?program="
// value; when it is empty the file name of the program serves. commandLine is
// the item's command line, from which the program path is taken. code is the
// item's location or category code. extended selects the extended request.
// Result: the length of the address.
int BuildKeelAddress(const char *itemName, const char *commandLine, int code, int extended,
                     char *out, size_t cap);

// The lookups an alert's "Keel Info" button runs. The item's name comes from
// the caller (the alert's name field) rather than from a global. GetKeelInfo
// builds the short request, or hands over to GetKeelInfoEx when the option
// "KeelFormat" is set; GetKeelInfoEx opens the extended request through an
// internet shortcut in the data folder. Result: 1 when something was opened.
int GetKeelInfo(const char *itemName, const char *commandLine, int code);
int GetKeelInfoEx(const char *itemName, const char *commandLine, int code);

// The one-shot job of a command line naming a file (Explorer's context menu
// passes it in quotes): code 460 for ".exe", 470 for ".dll". The item's name is
// the file name as the command line spells it. Result as GetKeelInfo.
int KeelLookupFromCommandLine(const char *commandLine, int code);
