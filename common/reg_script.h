// Small scripts for work the monitor should not or cannot do itself: a registry
// script ("temp.reg" in the data folder) that the elevated registry editor imports
// for a value change needing administrator rights, and the batch file kept in the
// vault beside a deleted hidden file that moves it back and hides it again.
#pragma once
#include <windows.h>
#include <stddef.h>

// Kinds of value change a registry script carries.
enum { REGCMD_STRING = 1, REGCMD_DWORD = 4, REGCMD_DELETE = 102 };

// Writes the registry script for one change to path (replacing what was there).
// 0, and no file, for a key of the product itself, a kind without a value line,
// or a text the script cannot carry (a line break).
int WriteRegScript(const char *path, const char *rootName, const char *keyPath, const char *valueName,
                   const char *data, int kind);
// The script written to "temp.reg" and handed to the registry editor: 1 when the
// editor was started with it.
int CreateRegCommand(const char *rootName, const char *keyPath, const char *valueName, const char *data,
                     int kind);
// Starts the registry editor elevated and silent on the script, waits a short while
// for the import, then removes the script. 1 when the editor was started.
int regExecuteScript(const char *scriptPath);
// "Restore_<kept copy's file name>.bat" beside the kept copy in the vault: moves the
// copy back to its former path and hides it again. 1 when written.
int WriteVaultRestoreScript(const char *keptCopy, const char *formerPath);
// The restore script of a kept copy (what WriteVaultRestoreScript writes).
int VaultRestoreScriptPath(const char *keptCopy, char *out, size_t cap);
