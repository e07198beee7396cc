// What one look at the monitored extensions finds, shared by the listing and the
// scan step of the file type watcher.
#pragma once
#include <windows.h>

#include "watchers/filetypes.h"

typedef struct FileTypeFinding {
    char ext[FILETYPE_EXT_MAX];         // with its "."
    int method;                         // 1, 2 or 3
    char cls[FILETYPE_TEXT_MAX];        // the class, application or ProgID
    char command[FILETYPE_TEXT_MAX];    // its open command as stored
} FileTypeFinding;

typedef struct FileTypeFindings {
    FileTypeFinding *items;
    int count, cap;
} FileTypeFindings;

// Every monitored extension by methods 1 to 3, each registry value read once
// (classes shared by several extensions included). The count found.
int CollectFileTypes(FileTypeFindings *found);
void FreeFileTypeFindings(FileTypeFindings *found);

// A text value as stored under root (the shell's view), environment references
// unexpanded; binary data counts as text up to its first NUL. The length; 0 and ""
// when missing, empty, a number, or not shorter than cap. type may be NULL.
int ReadAssociationText(HKEY root, const char *path, const char *name, char *out, size_t cap, DWORD *type);
// The same from a key the caller holds open.
int QueryAssociationText(HKEY key, const char *name, char *out, size_t cap, DWORD *type);
// The baseline key holding the class of an extension by method; NULL for none.
const char *ExtensionBaselineKey(int method);
