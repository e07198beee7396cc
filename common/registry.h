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
// GetRegString's read from a key the caller holds open (it stays open): a text of
// cap - 1 characters at most (GetRegString reads REG_TEXT_MAX at most), 0 when
// absent, empty, a DWORD or too long to fit.
int QueryKeyText(HKEY key, const char *name, char *out, int cap);
// A REG_DWORD of a key the caller holds open (it stays open); 0 when unreadable.
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

// Both masks pointed at one registry view (0, KEY_WOW64_32KEY or KEY_WOW64_64KEY)
// for a run of calls; the saved masks go back with PutRegistryAccessBack.
typedef struct RegAccessModes {
    REGSAM read, write;
} RegAccessModes;
RegAccessModes UseRegistryView(REGSAM view);
void PutRegistryAccessBack(RegAccessModes saved);

// RegDeleteKeyExA looked up at run time; ERROR_SUCCESS when the platform lacks it.
LONG RegDeleteKeyExAtRunTime(HKEY root, const char *path, REGSAM view);

// The semicolon lists of win.ini, section "windows" ("load", "run").
void AddToWinIniList(const char *key, const char *item);
void RemoveFromWinIniList(const char *key, const char *item);

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

// A class id's in-process server file ("CLSID\{...}\InprocServer32"), 64-bit
// view first and the 32-bit registration after it; 1 when resolved. out: MAX_PATH.
int ResolveClsid(const char *clsid, char *out);
