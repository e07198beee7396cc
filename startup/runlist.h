// The run-entry record and the process-wide run list that every watcher fills.
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

typedef struct RunListData {
    HGLOBAL items[RUN_LIST_MAX];
    int count;
} RunListData;

extern RunListData RunList;
// The most cookie records the list takes; the option "MaxCookie" keeps it.
extern int giMaxCookie;

int AddRunStruct(const char *name, const char *command, const char *sourcePath,
                 const char *details, int code, int extra);
int GetRunPath(int i, char *out);
int GetRunName(int i, char *out);
int GetRunSourcePath(int i, char *out);
int GetRunDetails(int i, char *out);
int GetRunCode(int i);
int GetRunExtra(int i);
void FreeRunList(void);

// A class id's in-process server file ("CLSID\{...}\InprocServer32"), 64-bit
// view first and the 32-bit registration after it; 1 when resolved.
int ResolveClsid(const char *clsid, char *out);
