// Registry access layer: every read and write of the system goes through these
// plain operations. The only state is the two access masks and the 64-bit flag.
#pragma once
#include <windows.h>

// Masks for opening keys to read and to write. A caller that needs another view
// sets its mask for a short run of calls and puts the previous value back.
extern REGSAM RegReadAccess;    // KEY_READ at start
extern REGSAM RegWriteAccess;   // KEY_WRITE at start, KEY_ALL_ACCESS once options are read

// "64-bit Windows": the process runs under WOW64, or is itself a 64-bit process.
// Set once at start-up by DetectIs64BitWindows.
extern int Is64BitWindows;
int DetectIs64BitWindows(void);

#define REG_TEXT_MAX 1024       // the value buffer of GetRegString

int GetRegString(HKEY root, const char *path, const char *name, char *out, int cap);
// GetRegString's reading of one value from a key the caller opened (and closes).
int ReadKeyText(HKEY key, const char *name, char *out, int cap);
// A REG_DWORD of a key the caller opened (and closes); 0 when unreadable.
DWORD QueryKeyDWORD(HKEY key, const char *name);
int SetRegString(HKEY root, const char *path, const char *name, const char *text);
int SetRegDWORDValue(HKEY root, const char *path, const char *name, DWORD value);
int CreateRegKey(HKEY root, const char *path);
int DeleteRegValue(HKEY root, const char *path, const char *name);
// path is a writable buffer of MAX_PATH characters; it is used as work space.
int DeleteRegKeyTree(HKEY root, char *path);
// Read from a key the caller opened; the key is closed in every case.
DWORD QueryOpenKeyType(HKEY key, const char *name);
DWORD QueryOpenKeyDWORD(HKEY key, const char *name);
long QueryOpenKeyDWORDOr(HKEY key, const char *name);   // -1 when unreadable
// A value as text: a REG_DWORD in signed decimal, any other type up to its first NUL,
// with its type. 1 when read (the text may be empty), 0 when the key or value is
// absent, -1 when the data does not fit in cap - 1 bytes (out is then empty).
int GetRegValueText(HKEY root, const char *path, const char *name, char *out, int cap, DWORD *type);
// A REG_DWORD through the read mask; 1 when it was read (value untouched otherwise).
int GetRegDWORD(HKEY root, const char *path, const char *name, DWORD *value);

// Both masks pointed at one registry view (0, KEY_WOW64_32KEY or KEY_WOW64_64KEY)
// for a run of calls; the saved masks go back with PutRegistryAccessBack.
typedef struct RegAccessModes {
    REGSAM read, write;
} RegAccessModes;
RegAccessModes UseRegistryView(REGSAM view);
void PutRegistryAccessBack(RegAccessModes saved);

// RegDeleteKeyExA looked up at run time; ERROR_SUCCESS when the platform lacks it.
LONG RegDeleteKeyExAtRunTime(HKEY root, const char *path, REGSAM view);

// The semicolon lists of win.ini, section "windows" ("load", "run"). A list is
// read whole into WIN_INI_LIST_MAX characters (-1: too long to read whole; out
// holds what fit, and such a list is never rewritten). Add and remove answer 1 when the list
// was written with the change: a missing item, a list that would grow too long
// or a failed write leave it as it was.
#define WIN_INI_LIST_MAX 4096
int ReadWinIniList(const char *key, char *out);
int AddToWinIniList(const char *key, const char *item);
int RemoveFromWinIniList(const char *key, const char *item);

#define VERSION_FIELD_MAX 1024
typedef struct VersionRecord {
    char ProductName[VERSION_FIELD_MAX];
    char ProductVersion[VERSION_FIELD_MAX];
    char CompanyName[VERSION_FIELD_MAX];
    char FileDescription[VERSION_FIELD_MAX];
    char LegalCopyright[VERSION_FIELD_MAX];
} VersionRecord;

int GetVersionInfo(const char *path, VersionRecord *rec);
// versionOut holds at least VERSION_FIELD_MAX characters.
int FindAppPath(const char *exeName, char *versionOut);

// A class id's name (its default value) and in-process server file, from
// HKEY_CLASSES_ROOT in the view the read mask names (the 64-bit one when it names
// none), then on 64-bit Windows from the 64-bit view and from "Wow6432Node\CLSID". The braces round the id are
// optional and text after its "}" is ignored. 1 when a server file was found
// (path: quotes removed, long form, MAX_PATH characters); name (CLSID_NAME_MAX
// characters, may be NULL) is then the class's name, empty when it has none.
// An unchanged registration is answered from the file-facts cache.
#define CLSID_NAME_MAX 512
int ResolveClsid(const char *clsid, char *name, char *path);
// Registrations read in full (not answered from the cache): for tests and the benchmark.
extern int giClsidReads;
