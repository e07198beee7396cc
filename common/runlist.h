// The run-entry record and the run list: what a scan or a watcher finds, one
// record per entry. Each list belongs to the pass or routine that made it.
#pragma once
#include <windows.h>

#define RUN_NAME_MAX 128
#define RUN_PATH_MAX MAX_PATH
#define RUN_DETAILS_MAX 1024
#define RUN_LIST_MAX 4096

#define CODE_COOKIE 500         // records of this code also obey the cookie limit
#define CODE_INFO_TASK 600      // a running program

typedef struct RunStruct {
    char name[RUN_NAME_MAX];
    char path[RUN_PATH_MAX];
    char sourcePath[RUN_PATH_MAX];
    int code;
    int extra;
    char details[RUN_DETAILS_MAX];
} RunStruct;

typedef struct RunList {
    HGLOBAL items[RUN_LIST_MAX];
    int count;
} RunList;

// The most cookie records the list takes; the option "MaxCookie" keeps it.
extern int giMaxCookie;

// An empty list on the heap (NULL when no memory is left), and its end.
RunList *NewRunList(void);
void DeleteRunList(RunList *list);
// Frees every record; the list stays, empty.
void FreeRunList(RunList *list);
int AddRunStruct(RunList *list, const char *name, const char *command, const char *sourcePath,
                 const char *details, int code, int extra);
// A record of something that is no program (a registry value, a setting): the
// fields kept exactly as given. 0, and nothing added, when the list is full or a
// field does not fit whole.
int AddRunRecord(RunList *list, const char *name, const char *path, const char *sourcePath,
                 const char *details, int code, int extra);
// The fields of record i; a text field's length (0 and an empty out outside the list).
int GetRunPath(const RunList *list, int i, char *out);
int GetRunName(const RunList *list, int i, char *out);
int GetRunSourcePath(const RunList *list, int i, char *out);
int GetRunDetails(const RunList *list, int i, char *out);
int GetRunCode(const RunList *list, int i);
// A copy of record i as stored (no lookups); 0 outside the list.
int GetRunRecord(const RunList *list, int i, RunStruct *out);
int GetRunExtra(const RunList *list, int i);
