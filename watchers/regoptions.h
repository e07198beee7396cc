// Custom registry monitoring: registry values the user chose in the companion, kept
// with their approved data in the watch list HKCU "...\Brackmoor\RegOptions" (value
// name "<root>\<key path>\<value name>", REG_DWORD or REG_SZ data). The same names
// under "...\Brackmoor\RegLock" hold a DWORD lock flag: a locked value is put back
// without asking.
#pragma once
#include <windows.h>

#include "common/options.h"
#include "common/runlist.h"
#include "common/scan_pass.h"

#define REGOPTIONS_KEY BRACKMOOR_KEY "\\RegOptions"
#define REGLOCK_KEY BRACKMOOR_KEY "\\RegLock"

// The root key a watch-list root name stands for (matched ignoring case; an unknown
// name means HKEY_CURRENT_USER), and its canonical name when canonical is not NULL.
HKEY RegOptionsRoot(const char *rootName, const char **canonical);
// Fills list with one record per watched value: name = the root name, path = the
// key path, sourcePath = the value name, details = the approved data as text (a
// DWORD in decimal), code = the lock flag, extra = the approved data's type.
// Entries that cannot be represented whole are skipped and traced. Returns the count.
int ListRegOptions(RunList *list);
// The scan step: each watched value read again; a change is asked about (Yes keeps
// it, No writes the approved data back), a locked one is put back at once.
// Returns the changes found.
int VerifyRegOptions(ScanPass *pass);
