#include "common/file_facts.h"

#include <string.h>

#include "common/files.h"
#include "common/text.h"
#include "common/tracelog.h"

#define FACT_BUCKETS 8192       // a power of two, twice the entries
#define NO_ENTRY (-1)
#define NO_FILE (-2)            // EntryFor: the file cannot be found
#define VERSION_FIELDS 5

typedef struct FactEntry {
    char *key;                  // the upper-cased path; NULL for a free slot
    ULONGLONG size;
    FILETIME written;
    DWORD lastUse;
    int next;                   // next entry of the same bucket
    int versionKnown, versionResult;
    char *fields[VERSION_FIELDS];
    unsigned factMask;          // which kinds of facts holds
    FileFact *facts;            // FACT_KIND_COUNT of them, made at the first store
} FactEntry;

int giFileFactVersionReads;

static FactEntry *Entries;      // FILE_FACTS_MAX slots, made at the first use
static int Buckets[FACT_BUCKETS];
static int EntryCount;
static DWORD UseClock;

static char *HeapText(const char *text)
{
    size_t len = strlen(text);
    char *copy = (char *)HeapAlloc(GetProcessHeap(), 0, len + 1);
    if (copy)
        memcpy(copy, text, len + 1);
    return copy;
}

static void HeapFreeText(char **text)
{
    if (*text)
        HeapFree(GetProcessHeap(), 0, *text);
    *text = NULL;
}

static char *VersionFieldOf(VersionRecord *rec, int f)
{
    char *const fields[VERSION_FIELDS] = {rec->ProductName, rec->ProductVersion, rec->CompanyName,
                                          rec->FileDescription, rec->LegalCopyright};
    return fields[f];
}

static unsigned HashKey(const char *key)
{
    unsigned h = 2166136261u;
    for (const unsigned char *p = (const unsigned char *)key; *p; p++)
        h = (h ^ *p) * 16777619u;
    return h & (FACT_BUCKETS - 1);
}

static void ClearEntry(FactEntry *e)
{
    HeapFreeText(&e->key);
    for (int f = 0; f < VERSION_FIELDS; f++)
        HeapFreeText(&e->fields[f]);
    if (e->facts)
        HeapFree(GetProcessHeap(), 0, e->facts);
    memset(e, 0, sizeof(*e));
    e->next = NO_ENTRY;
}

// The file's identity now; 0 when it cannot be read (no such file).
static int ReadIdentity(const char *path, ULONGLONG *size, FILETIME *written)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    PVOID redirection = NULL;
    DisableFsRedirection(&redirection);
    BOOL ok = GetFileAttributesExA(path, GetFileExInfoStandard, &data);
    RevertFsRedirection(redirection);
    if (!ok || (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return 0;
    *size = ((ULONGLONG)data.nFileSizeHigh << 32) | data.nFileSizeLow;
    *written = data.ftLastWriteTime;
    return 1;
}

static int MakeTable(void)
{
    if (Entries)
        return 1;
    Entries = (FactEntry *)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(FactEntry) * FILE_FACTS_MAX);
    if (!Entries) {
        TestLog("MyError:  FileFacts HeapAlloc", "file facts are read without the cache");
        return 0;
    }
    for (int i = 0; i < FACT_BUCKETS; i++)
        Buckets[i] = NO_ENTRY;
    for (int i = 0; i < FILE_FACTS_MAX; i++)
        Entries[i].next = NO_ENTRY;
    return 1;
}

static void Unlink(int index)
{
    int *link = &Buckets[HashKey(Entries[index].key)];
    while (*link != NO_ENTRY && *link != index)
        link = &Entries[*link].next;
    if (*link == index)
        *link = Entries[index].next;
    ClearEntry(&Entries[index]);
    EntryCount--;
}

// A free slot: an empty one, else the one unused for longest is emptied.
static int FreeSlot(void)
{
    int oldest = 0;
    for (int i = 0; i < FILE_FACTS_MAX; i++) {
        if (!Entries[i].key)
            return i;
        if (Entries[i].lastUse < Entries[oldest].lastUse)
            oldest = i;
    }
    Unlink(oldest);
    return oldest;
}

// The entry of key with this identity, made (empty) when the key is new to the cache
// and emptied when its identity changed; NO_ENTRY when nothing can be kept.
static int EntryForIdentity(const char *name, ULONGLONG size, const FILETIME *written)
{
    char key[MAX_PATH];
    if (!name || !*name || !CopyText(key, CAP(key), name) || !MakeTable())
        return NO_ENTRY;
    UpperText(key);
    unsigned bucket = HashKey(key);
    int index = Buckets[bucket];
    while (index != NO_ENTRY && strcmp(Entries[index].key, key) != 0)
        index = Entries[index].next;
    if (index != NO_ENTRY && (Entries[index].size != size ||
                              CompareFileTime(&Entries[index].written, written) != 0)) {
        Unlink(index);
        index = NO_ENTRY;
    }
    if (index == NO_ENTRY) {
        index = FreeSlot();
        FactEntry *e = &Entries[index];
        e->key = HeapText(key);
        if (!e->key)
            return NO_ENTRY;
        e->size = size;
        e->written = *written;
        e->next = Buckets[bucket];
        Buckets[bucket] = index;
        EntryCount++;
    }
    Entries[index].lastUse = ++UseClock;
    return index;
}

// The entry of the file as it is now; NO_FILE when the file cannot be found,
// NO_ENTRY when the path does not fit or there is no memory for the cache.
static int EntryFor(const char *path)
{
    ULONGLONG size;
    FILETIME written;
    if (!path || !*path || !ReadIdentity(path, &size, &written))
        return NO_FILE;
    return EntryForIdentity(path, size, &written);
}

// A stamped name's identity: the second stamp stands where a file keeps its size.
static int EntryForStamps(const char *name, const FILETIME *first, const FILETIME *second)
{
    if (!first || !second)
        return NO_ENTRY;
    ULONGLONG size = ((ULONGLONG)second->dwHighDateTime << 32) | second->dwLowDateTime;
    return EntryForIdentity(name, size, first);
}

int GetVersionInfoCached(const char *path, VersionRecord *rec)
{
    int index = EntryFor(path);
    if (index < 0) {
        giFileFactVersionReads++;
        return GetVersionInfo(path, rec);
    }
    FactEntry *e = &Entries[index];
    if (!e->versionKnown) {
        giFileFactVersionReads++;
        e->versionResult = GetVersionInfo(path, rec);
        e->versionKnown = 1;
        for (int f = 0; f < VERSION_FIELDS; f++)
            e->fields[f] = HeapText(VersionFieldOf(rec, f));
        return e->versionResult;
    }
    for (int f = 0; f < VERSION_FIELDS; f++)
        CopyText(VersionFieldOf(rec, f), VERSION_FIELD_MAX, e->fields[f] ? e->fields[f] : "");
    return e->versionResult;
}

VersionRecord *ReadVersionRecord(const char *path)
{
    VersionRecord *version = (VersionRecord *)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(VersionRecord));
    if (version && !GetVersionInfoCached(path, version))
        memset(version, 0, sizeof(VersionRecord));
    return version;
}

void FreeVersionRecord(VersionRecord *version)
{
    if (version)
        HeapFree(GetProcessHeap(), 0, version);
}

static int FactOfEntry(int index, int kind, FileFact *out)
{
    if (index < 0 || !(Entries[index].factMask & (1u << kind)))
        return 0;
    *out = Entries[index].facts[kind];
    return 1;
}

static void StoreInEntry(int index, int kind, const FileFact *fact)
{
    if (index < 0)
        return;
    FactEntry *e = &Entries[index];
    if (!e->facts)
        e->facts = (FileFact *)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(FileFact) * FACT_KIND_COUNT);
    if (!e->facts)
        return;
    e->facts[kind] = *fact;
    e->facts[kind].text[FILE_FACT_TEXT_MAX - 1] = '\0';
    e->factMask |= 1u << kind;
}

static int KnownKind(int kind)
{
    return kind >= 0 && kind < FACT_KIND_COUNT;
}

int LookupFileFact(const char *path, int kind, FileFact *out)
{
    if (!KnownKind(kind))
        return 0;
    int index = EntryFor(path);
    return index == NO_FILE ? -1 : FactOfEntry(index, kind, out);
}

void StoreFileFact(const char *path, int kind, const FileFact *fact)
{
    if (KnownKind(kind))
        StoreInEntry(EntryFor(path), kind, fact);
}

int LookupStampedFact(const char *name, const FILETIME *first, const FILETIME *second, int kind, FileFact *out)
{
    return KnownKind(kind) && FactOfEntry(EntryForStamps(name, first, second), kind, out);
}

void StoreStampedFact(const char *name, const FILETIME *first, const FILETIME *second, int kind,
                      const FileFact *fact)
{
    if (KnownKind(kind))
        StoreInEntry(EntryForStamps(name, first, second), kind, fact);
}

void FreeFileFacts(void)
{
    if (!Entries)
        return;
    for (int i = 0; i < FILE_FACTS_MAX; i++)
        ClearEntry(&Entries[i]);
    HeapFree(GetProcessHeap(), 0, Entries);
    Entries = NULL;
    EntryCount = 0;
}

int CountFileFacts(void)
{
    return EntryCount;
}
