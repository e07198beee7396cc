// File and path utilities: the system's folders, file tests with the fallbacks
// that bare program names need, command line to program path, removal, file
// times, the localized date text and folder walks. Paths are MAX_PATH buffers.
#pragma once
#include <windows.h>

// WOW64 file-system redirection off around file access on 64-bit Windows.
// The pair is a no-op on 32-bit Windows and where the functions are missing.
void DisableFsRedirection(PVOID *old);
void RevertFsRedirection(PVOID old);

int GetMyFolder(char *out);                 // the data folder, created when missing
int GetMyProgramFolder(char *out);          // folder of the running exe, no trailing "\"
int FileExists(char *path);                 // path: in/out MAX_PATH buffer
int fileRemoveFile(const char *path);
int fileRemoveFolder(const char *path);
int ExtractProgramPath(const char *commandLine, char *out);
// The same path in the case the command spells it: what to hand the file system
// when it is asked many times (a file system that keeps case, as under Wine,
// finds the exact name at once and a re-cased one only by searching the folder).
int ExtractProgramPathAsIs(const char *commandLine, char *out);
int RundllTarget(const char *commandLine, char *out, size_t cap);
int GetFolderOfProgram(const char *path, char *out);
int FileNameOf(const char *path, char *out);
int StripQuotes(const char *in, char *out);
int GetProgramFilesVendor(const char *path, char *out);
int IsPlausibleFileName(const char *text);
int GetUserNameFromProfile(char *out);      // out: 128 characters
int GetDefaultBrowserKind(void);
int GetIEPath(char *out);
#define FILE_TIME_TEXT_MAX 24
int GetMyFileTime(const char *path, char *created, char *modified, char *accessed, char *sizeText);
int FormatFileTime(const char *path, char *out);
// The same text of a last-write time the caller already holds (a find record's).
int FormatWriteTime(const FILETIME *utc, char *out);
// A file's last-write time (FormatDateLocal) and size in decimal, each in
// FILE_TIME_TEXT_MAX characters; 0 (both empty) when it is no file.
int GetFileDateSize(const char *path, char *dateText, char *sizeText);
int FormatDateLocal(const SYSTEMTIME *t, char *out);   // out: FILE_TIME_TEXT_MAX
// The user's date and time patterns read once, for a step that formats many dates
// (FormatDateLocal reads them for each one): rows of the known patterns.
typedef struct DateFormat {
    int date, time;
} DateFormat;
void ReadDateFormat(DateFormat *format);
int FormatDateWith(const DateFormat *format, const SYSTEMTIME *t, char *out);
void UnixTimeToSystemTime(long long seconds, SYSTEMTIME *out);
HGLOBAL ReadtheFile(const char *path, DWORD *size);
int fileShellExecute(HWND window, const char *path);
int OpenFolderOf(HWND window, const char *commandLine);
int TraceShellExecuteError(int mode, int code, const char *tag);
int GetLongPath(const char *shortPath, char *out);
// A command or image path as program comparisons see it: the program alone
// (ExtractProgramPath), in its long form. Its length, 0 when there is none.
int NormaliseProgramPath(const char *commandLine, char *out);
// The file whose version, icon, folder and property sheet an alert shows for a
// command line: its normalised program, or the text itself when it names none.
int AlertProgramFile(const char *commandLine, char *out);
// A query value for a web request: letters, digits and "-._~!$'()*,:@/" as they
// are, every other byte as "%XX". Never cuts an escape; the length minus 1, -1
// for an empty text.
int EncodeForQuery(const char *text, char *out, size_t cap);
// The file name of the program a command line starts (arguments and quotes
// dropped), spelt as the command line spells it. Its length, 0 when there is none.
int GetProgramFileName(const char *commandLine, char *out, size_t cap);
void fileRemoveOldRegPointer(const char *keyPath);

// Folder walks. The callback gets the full path and the find record; a non-zero
// answer stops the whole walk. giWalkMode tells the callback whose rules apply.
enum { WALK_STARTUP = 1, WALK_COOKIES = 2, WALK_SYSTEM = 7 };
extern int giWalkMode;
// "." and "..": the entries a folder listing has that are no file of its own.
int IsDotEntry(const char *name);
typedef int (*WalkCallback)(const char *path, const WIN32_FIND_DATAA *found, void *arg);
int WalkFolder(char *folder, WalkCallback callback, int depth, void *arg);
void WalkSystemFolders(WalkCallback callback, void *arg);
