// Facts derived from a file that are costly to read (its version strings, its
// signature), kept by the file's identity: path, size and last-write time. A pass
// over unchanged files reads none of them again; a file that changed is read anew.
// The cache is bounded: when it is full the entry unused for longest goes.
#pragma once
#include <windows.h>

#include "common/registry.h"

#define FILE_FACTS_MAX 4096

// Kinds of small facts other code keeps here beside the version record.
enum { FACT_SIGNATURE = 0, FACT_CLSID_NAME = 1, FACT_CLSID_PATH = 2, FACT_KIND_COUNT = 4 };
#define FILE_FACT_TEXT_MAX 260
typedef struct FileFact {
    int status;
    char text[FILE_FACT_TEXT_MAX];
} FileFact;

// GetVersionInfo through the cache: the same answer and record, read from the file
// only when its identity is new or changed.
int GetVersionInfoCached(const char *path, VersionRecord *rec);
// A record of its own for the file's version, read through the cache (every field
// empty when the file has none); NULL without memory. FreeVersionRecord gives it back.
VersionRecord *ReadVersionRecord(const char *path);
void FreeVersionRecord(VersionRecord *version);
// 1 and the fact when it was stored for the file as it is now; -1 when the file
// cannot be found; 0 otherwise.
int LookupFileFact(const char *path, int kind, FileFact *out);
// Stores a fact for the file as it is now; nothing when the file cannot be found.
void StoreFileFact(const char *path, int kind, const FileFact *fact);
// The same for something that is not a file (a registry entry): the caller names it
// in a form no path takes ("<...>") and gives the two stamps that change whenever
// its facts would (the last-write times of the keys they are read from).
int LookupStampedFact(const char *name, const FILETIME *first, const FILETIME *second, int kind, FileFact *out);
void StoreStampedFact(const char *name, const FILETIME *first, const FILETIME *second, int kind,
                      const FileFact *fact);
// Everything forgotten (at exit, and by tests).
void FreeFileFacts(void);

// Counters for tests and the benchmark: version blocks read from files, and
// entries in use.
extern int giFileFactVersionReads;
int CountFileFacts(void);
