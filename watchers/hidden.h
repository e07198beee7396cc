// The hidden files watcher: files flagged hidden that appear in the system
// folders. Each new one is put to the user; allowing it enters it in the
// baseline, deleting it keeps a copy and a restore script in the vault.
#pragma once
#include <windows.h>

#include "common/options.h"
#include "common/runlist.h"
#include "common/scan_pass.h"

#define TYPE_HIDDEN 370
#define TIP_HIDDEN 842
// Baseline: default value "P" once built; one value per allowed file, named by its
// path, holding the local date and time it was recorded.
#define HIDDEN_BASELINE_KEY BRACKMOOR_KEY "\\Hidden"
#define HIDDEN_MARKER "P"
#define HIDDEN_KNOWN_MAX 25     // a baseline value is read with at most 24 characters

// Every hidden file of the system folders into list (version records read only
// for files the baseline does not know); the count.
int ListHiddenFiles(RunList *list);
// The same without any version record: for the first fill of the detection records.
int CollectHiddenFiles(RunList *list);
// The scan step.
int VerifyHiddenFiles(ScanPass *pass);
// Start and re-initialisation: the baseline of every hidden file present, once.
void InitHiddenFiles(void);
// Reject: the running program of the file ended, a copy and a restore script kept
// in the vault, the file removed (with its history line), its baseline value
// deleted. 1 when the file was removed.
int DeleteHiddenFile(const char *name, const char *path);
// The vault's restore script of a file kept there as keptCopy; 1 when written.
int WriteRestoreScript(const char *path, const char *keptCopy);
// The vault folder (the data folder + "\vault"), made when missing; its length.
int GetVaultFolder(char *out);

// What the hidden file alert shows.
typedef struct HiddenAlert {
    char name[RUN_NAME_MAX];
    char path[MAX_PATH];
} HiddenAlert;
// Dialog 191; lParam: the HiddenAlert. Ends with 6 (allow) or 7 (delete, also Esc).
INT_PTR CALLBACK NewHiddenDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
